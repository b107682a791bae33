#include "utils.h"

#include <cstdlib>
#include <sys/time.h>

i32 timer() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    u64 ms = static_cast<u64>(tv.tv_sec) * 1000u + static_cast<u64>(tv.tv_usec) / 1000u;
    return static_cast<i32>(static_cast<u32>(ms));
}

u64 rand64() {
    // Sequenced on purpose: the keys must not depend on the compiler's
    // evaluation order of one big expression.
    u64 r1 = static_cast<u64>(rand());
    u64 r2 = static_cast<u64>(rand());
    u64 r3 = static_cast<u64>(rand());
    u64 r4 = static_cast<u64>(rand());
    u64 r5 = static_cast<u64>(rand());
    return r1 ^ (r2 << 15) ^ (r3 << 30) ^ (r4 << 45) ^ (r5 << 60);
}

void moveToText(const Move* move, char* out) {
    const char* from = sqString[move->from & 127];
    const char* to = sqString[move->to & 127];
    out[0] = from[0];
    out[1] = from[1];
    out[2] = to[0];
    out[3] = to[1];
    out[4] = '\0';
    if ((move->flags & MF_PROMOTION) && move->promotion != EMPTY) {
        // Lower-case letter of the piece promoted to.
        out[4] = static_cast<char>(pcString[move->promotion > EMPTY ? move->promotion : move->promotion + 7]);
        out[5] = '\0';
    }
}

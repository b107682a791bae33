#include "utils.h"

#include <cctype>
#include <chrono>
#include <ctime>
#include <random>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

i32 timer() {
    // A steady clock: stepping the system's time of day (NTP, the user, a
    // daylight change) must not make a search's elapsed time jump or run
    // backwards. The milliseconds since the clock's own epoch wrap modulo
    // 2^32, and only differences of two readings are used.
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    const i64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<i32>(static_cast<u32>(static_cast<u64>(ms)));
}

u64 physicalMemoryBytes() {
#ifdef _WIN32
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? static_cast<u64>(status.ullTotalPhys) : 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<u64>(pages) * static_cast<u64>(pageSize) : 0;
#endif
}

bool outputIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

u64 randomBits() {
    static std::mt19937_64 generator(
        static_cast<u64>(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
        (static_cast<u64>(time(nullptr)) << 32));
    return generator();
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

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) i++;
        const size_t start = i;
        while (i < text.size() && !isspace(static_cast<unsigned char>(text[i]))) i++;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::string joinWords(const std::vector<std::string>& words, size_t first, size_t last) {
    std::string text;
    for (size_t i = first; i < last && i < words.size(); i++) {
        if (!text.empty()) text += ' ';
        text += words[i];
    }
    return text;
}

bool readDecimal(const char* text, i64* value, const char** end) {
    if (text == nullptr) return false;
    char* stop = nullptr;
    const long long n = strtoll(text, &stop, 10);   // saturates past the range
    if (stop == text) return false;
    *value = static_cast<i64>(n);
    if (end != nullptr) *end = stop;
    return true;
}

bool readWholeNumber(const char* text, i32* value) {
    i64 n = 0;
    const char* end = nullptr;
    if (!readDecimal(text, &n, &end) || *end != '\0') return false;
    *value = clampToI32(n);
    return true;
}

bool readNumberInRange(const char* text, i32 low, i32 high, i32* value) {
    i32 v = 0;
    if (!readWholeNumber(text, &v) || v < low || v > high) return false;
    *value = v;
    return true;
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
        out[4] = static_cast<char>(
            pcString[move->promotion > EMPTY ? move->promotion : move->promotion + 7]);
        out[5] = '\0';
    }
}

std::string textFromBytes(const std::string& bytes) {
    const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return bytes.substr(3);
    const bool little = bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE;
    const bool big = bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF;
    if (!little && !big) return bytes;
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        u32 unit = little ? at(i) | at(i + 1) << 8 : at(i) << 8 | at(i + 1);
        // A surrogate pair is one character beyond the first 65,536; a lone
        // surrogate is no character at all.
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const u32 low = little ? at(i + 2) | at(i + 3) << 8 : at(i + 2) << 8 | at(i + 3);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
        if (unit < 0x80) {
            text += static_cast<char>(unit);
        } else if (unit < 0x800) {
            text += static_cast<char>(0xC0 | unit >> 6);
            text += static_cast<char>(0x80 | (unit & 0x3F));
        } else if (unit < 0x10000) {
            text += static_cast<char>(0xE0 | unit >> 12);
            text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | unit >> 18);
            text += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return text;
}

void dropByteOrderMark(char* line) {
    if (static_cast<unsigned char>(line[0]) == 0xEF &&
        static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF)
        memmove(line, line + 3, strlen(line + 3) + 1);
}

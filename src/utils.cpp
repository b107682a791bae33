#include "utils.h"

#include <cctype>
#include <chrono>
#include <ctime>
#include <random>
#include <cstdio>
#include <cstdlib>

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
#include <sys/time.h>
#include <unistd.h>
#endif

// Seconds and microseconds since 1970, from the platform's time of day.
static void timeOfDay(u64* seconds, u64* microseconds) {
#ifdef _WIN32
    // The system time as a file time counts 100-ns units since 1601; the
    // Unix epoch lies 11,644,473,600 seconds later.
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const u64 units = (static_cast<u64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const u64 sinceEpoch = units - 116444736000000000ULL;
    *seconds = sinceEpoch / 10000000ULL;
    *microseconds = (sinceEpoch % 10000000ULL) / 10ULL;
#else
    timeval tv;
    gettimeofday(&tv, nullptr);
    *seconds = static_cast<u64>(tv.tv_sec);
    *microseconds = static_cast<u64>(tv.tv_usec);
#endif
}

i32 timer() {
    u64 seconds, microseconds;
    timeOfDay(&seconds, &microseconds);
    const u64 ms = seconds * 1000u + microseconds / 1000u;
    return static_cast<i32>(static_cast<u32>(ms));
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

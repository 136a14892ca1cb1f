#include "common/Text.h"

#include <cstdarg>
#include <cstdio>

namespace tressel {

size_t CopyText(char* dst, size_t cap, const char* src)
{
    if (cap == 0)
        return 0;
    size_t n = 0;
    if (src != nullptr) {
        while (n + 1 < cap && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

int FormatText(char* dst, size_t cap, const char* format, ...)
{
    if (cap == 0)
        return -1;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, cap, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = '\0';
        return -1;
    }
    return static_cast<size_t>(n) < cap ? n : -1;
}

static char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(const char* a, const char* b)
{
    while (*a != '\0' && Lower(*a) == Lower(*b)) {
        ++a;
        ++b;
    }
    return Lower(*a) == Lower(*b);
}

} // namespace tressel

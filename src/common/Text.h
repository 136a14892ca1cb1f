// Bounded text helpers for fixed-capacity fields. Nothing in the program uses
// strcpy, strncpy or sprintf: every copy and format goes through these.
#pragma once

#include <cstddef>

#if defined(__GNUC__)
#define TRESSEL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRESSEL_PRINTF(fmt, args)
#endif

namespace tressel {

// Copies src into dst (capacity cap, terminating zero included), cut to fit.
// Returns the number of characters copied. cap 0 writes nothing.
size_t CopyText(char* dst, size_t cap, const char* src);

// snprintf into dst. Returns the length written, or -1 when the text did not
// fit (dst then holds as much as fits) or the format failed.
int FormatText(char* dst, size_t cap, const char* format, ...) TRESSEL_PRINTF(3, 4);

// ASCII case-insensitive equality.
bool EqualsNoCase(const char* a, const char* b);

} // namespace tressel

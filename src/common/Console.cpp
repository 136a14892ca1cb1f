#include "common/Console.h"

#include <cstdarg>

namespace tressel {

FILE* gConsole = nullptr;

static FILE* ConsoleStream()
{
    return gConsole != nullptr ? gConsole : stdout;
}

int ConsolePrintf(const char* format, ...)
{
    FILE* out = ConsoleStream();
    va_list args;
    va_start(args, format);
    int n = vfprintf(out, format, args);
    va_end(args);
    fflush(out);
    return n;
}

int ConsolePuts(const char* text)
{
    FILE* out = ConsoleStream();
    int n = fputs(text, out);
    if (n >= 0)
        n = fputc('\n', out) == EOF ? EOF : n;
    fflush(out);
    return n;
}

void WarnLine(const char* format, ...)
{
    fputs("tressel: ", stderr);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
}

} // namespace tressel

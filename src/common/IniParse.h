// A small INI reader used by the POSIX platform layer for the configuration
// file and by the virtual tuner for band files. It streams the file once and
// allocates nothing.
//
// Syntax: "[Section]" headers and "Key=Value" lines; a UTF-8 byte-order mark
// at the start is ignored; LF and CR LF line ends both work; lines whose
// first non-blank character is ';' are comments; lines without '=' are
// ignored; blanks and tabs around section names, keys and values are
// trimmed; names compare ASCII case-insensitively. Keys before the first
// section header belong to no section and are never found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tressel {

constexpr size_t kIniNameCapacity = 256;   // section and key names
constexpr size_t kIniValueCapacity = 4096; // values handed to a visitor

// Called for every Key=Value line. value holds at most kIniValueCapacity-1
// characters; valueLength is the full length of the trimmed value. A nonzero
// result stops the scan.
typedef int (*IniVisitor)(void* context, const char* section, const char* key, const char* value,
                          size_t valueLength);

// Streams the whole file through visitor. Returns 0, or the visitor's
// nonzero result when it stopped the scan.
int IniScan(FILE* file, IniVisitor visitor, void* context);

// Looks up the first key of that name in the first-matching sections of the
// file at path. Returns 1 and copies the trimmed value into out (cut to cap)
// when found; returns 0 when the file, section or key is missing (out is
// then untouched).
int IniLookup(const char* path, const char* section, const char* key, char* out, size_t cap);

// Reads a signed decimal integer the way the configuration reads it: blanks,
// an optional sign, then digits up to the first non-digit, kept as 32-bit two's
// complement (so "-1" and "4294967295" give the same bits). No leading digit
// reads as 0.
int32_t IniParseInt(const char* text);

// Strict form for band files: the whole text must be an optional sign and at
// least one digit. Returns 1 and stores the 32-bit value, or 0.
int IniParseIntStrict(const char* text, int32_t* value);

} // namespace tressel

// Lookups over the small code tables of the transponder list: rows of
// {code, text} and rows of {floor, text}, each with a default for every value
// the rows do not name. Rows keep the tables readable as data; no index is
// numbered by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tressel {

struct CodeText {
    uint32_t Code;
    const char* Text;
};

// A value at or above Floor gets Text; rows run from the highest floor down.
struct FloorText {
    uint32_t Floor;
    const char* Text;
};

// The text of the row whose code equals code, or fallback.
template <size_t N>
const char* FindCodeText(const std::array<CodeText, N>& rows, uint32_t code, const char* fallback)
{
    for (const CodeText& row : rows) {
        if (row.Code == code)
            return row.Text;
    }
    return fallback;
}

// The text of the first row whose floor the value reaches, or fallback.
template <size_t N>
const char* FindFloorText(const std::array<FloorText, N>& rows, uint32_t value, const char* fallback)
{
    for (const FloorText& row : rows) {
        if (value >= row.Floor)
            return row.Text;
    }
    return fallback;
}

} // namespace tressel

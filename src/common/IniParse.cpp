#include "common/IniParse.h"

#include <cstring>

#include "common/Text.h"

namespace tressel {
namespace {

bool IsBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Collects characters into a fixed buffer, remembering the full length and
// where the trailing blanks begin.
struct Collector {
    char* Buffer;
    size_t Capacity;
    size_t Length;  // characters seen, including trailing blanks
    size_t Trimmed; // length without trailing blanks
};

void Collect(Collector* c, int ch)
{
    if (c->Length + 1 < c->Capacity)
        c->Buffer[c->Length] = static_cast<char>(ch);
    ++c->Length;
    if (!IsBlank(ch))
        c->Trimmed = c->Length;
}

// Terminates at the trimmed length; returns false when the name did not fit.
bool Finish(Collector* c)
{
    size_t end = c->Trimmed < c->Capacity ? c->Trimmed : c->Capacity - 1;
    c->Buffer[end] = '\0';
    return c->Trimmed < c->Capacity;
}

int SkipLine(FILE* file, int ch)
{
    while (ch != EOF && ch != '\n')
        ch = getc(file);
    return ch;
}

int SkipBlanks(FILE* file, int ch)
{
    while (ch != EOF && ch != '\n' && IsBlank(ch))
        ch = getc(file);
    return ch;
}

} // namespace

int IniScan(FILE* file, IniVisitor visitor, void* context)
{
    char section[kIniNameCapacity] = "";
    bool sectionUsable = false; // false before any header, or for a cut name
    char key[kIniNameCapacity];
    char value[kIniValueCapacity];

    int ch = getc(file);
    if (ch == 0xEF) { // UTF-8 byte-order mark
        int b2 = getc(file);
        int b3 = getc(file);
        if (b2 == 0xBB && b3 == 0xBF) {
            ch = getc(file);
        } else { // not a mark after all: take the line as ordinary text
            if (b3 != EOF)
                ungetc(b3, file);
            ch = SkipLine(file, b2 == '\n' ? '\n' : b2);
        }
    }

    while (ch != EOF) {
        ch = SkipBlanks(file, ch);
        if (ch == '\n') {
            ch = getc(file);
            continue;
        }
        if (ch == EOF)
            break;
        if (ch == ';') {
            ch = SkipLine(file, ch);
            continue;
        }
        if (ch == '[') {
            Collector name = {section, sizeof section, 0, 0};
            ch = SkipBlanks(file, getc(file));
            while (ch != EOF && ch != '\n' && ch != ']') {
                Collect(&name, ch);
                ch = getc(file);
            }
            sectionUsable = Finish(&name) && ch == ']';
            ch = SkipLine(file, ch);
            continue;
        }
        Collector name = {key, sizeof key, 0, 0};
        while (ch != EOF && ch != '\n' && ch != '=') {
            Collect(&name, ch);
            ch = getc(file);
        }
        if (ch != '=') { // no '=' on the line: not a key
            continue;
        }
        bool keyUsable = Finish(&name) && name.Trimmed > 0;
        ch = SkipBlanks(file, getc(file));
        Collector text = {value, sizeof value, 0, 0};
        while (ch != EOF && ch != '\n') {
            Collect(&text, ch);
            ch = getc(file);
        }
        Finish(&text);
        if (sectionUsable && keyUsable) {
            int stop = visitor(context, section, key, value, text.Trimmed);
            if (stop != 0)
                return stop;
        }
    }
    return 0;
}

namespace {

struct Lookup {
    const char* Section;
    const char* Key;
    char* Out;
    size_t Capacity;
};

int LookupVisitor(void* context, const char* section, const char* key, const char* value,
                  size_t /*valueLength*/)
{
    Lookup* lookup = static_cast<Lookup*>(context);
    if (!EqualsNoCase(section, lookup->Section) || !EqualsNoCase(key, lookup->Key))
        return 0;
    CopyText(lookup->Out, lookup->Capacity, value);
    return 1;
}

} // namespace

int IniLookup(const char* path, const char* section, const char* key, char* out, size_t cap)
{
    if (path == nullptr || section == nullptr || key == nullptr)
        return 0;
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return 0;
    Lookup lookup = {section, key, out, cap};
    int found = IniScan(file, LookupVisitor, &lookup);
    fclose(file);
    return found != 0 ? 1 : 0;
}

static const char* ParseDigits(const char* p, int32_t* value)
{
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    uint32_t acc = 0; // wraps modulo 2^32, as a 32-bit read does
    const char* digits = p;
    while (*p >= '0' && *p <= '9') {
        acc = acc * 10u + static_cast<uint32_t>(*p - '0');
        ++p;
    }
    if (p == digits)
        return nullptr;
    if (negative)
        acc = 0u - acc;
    int32_t bits;
    memcpy(&bits, &acc, sizeof bits);
    *value = bits;
    return p;
}

int32_t IniParseInt(const char* text)
{
    while (IsBlank(*text))
        ++text;
    int32_t value = 0;
    return ParseDigits(text, &value) != nullptr ? value : 0;
}

int IniParseIntStrict(const char* text, int32_t* value)
{
    int32_t parsed = 0;
    const char* end = ParseDigits(text, &parsed);
    if (end == nullptr || *end != '\0')
        return 0;
    *value = parsed;
    return 1;
}

} // namespace tressel

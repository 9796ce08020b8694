#include "text.h"

#include <cstdio>

void Fail(const std::string& message) { throw CliFailure(ExitFailure, message); }

void BadUsage(const std::string& message) { throw CliFailure(ExitUsage, message); }

namespace {

int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Digits only, no sign, no blanks; false on anything else or on overflow.
bool ParseDigits(const std::string& digits, int base, uint32_t limit, uint32_t* value) {
    if (digits.empty()) return false;
    uint64_t v = 0;
    for (char c : digits) {
        int d = DigitValue(c, base);
        if (d < 0) return false;
        v = v * base + d;
        if (v > limit) return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

uint32_t ParseHex(const std::string& text, const char* what) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
    uint32_t value = 0;
    if (!ParseDigits(digits, 16, UINT32_MAX, &value))
        BadUsage(std::string(what) + " '" + text + "' is not a hexadecimal number");
    return value;
}

int ParseId(const std::string& text) {
    uint32_t value = 0;
    if (!ParseDigits(text, 10, INT32_MAX, &value)) BadUsage("ID '" + text + "' is not a decimal number");
    return static_cast<int>(value);
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string HexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

namespace {

// Code points of the bytes 0x80 to 0x9F, where Windows-1252 differs from
// Latin-1; 0 marks the five bytes it leaves undefined.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Cp1252ToUtf8(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        auto byte = static_cast<unsigned char>(*p);
        char32_t c = byte;
        if (byte >= 0x80 && byte < 0xA0) c = Cp1252High[byte - 0x80] ? Cp1252High[byte - 0x80] : U'\uFFFD';
        AppendUtf8(out, c);
    }
    return out;
}

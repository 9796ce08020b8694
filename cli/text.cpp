#include "text.h"

#include <cmath>
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

int ParseDecimal(const std::string& text, const char* what) {
    uint32_t value = 0;
    if (!ParseDigits(text, 10, INT32_MAX, &value)) BadUsage(std::string(what) + " '" + text + "' is not a decimal number");
    return static_cast<int>(value);
}

std::string WithArticle(const std::string& word) {
    const bool vowel = !word.empty() && std::string("aeiou").find(word[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + word;
}

std::string SnrText(double snrDb, const char* unit) {
    if (std::isinf(snrDb) && snrDb > 0) return "exact";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%s", snrDb, unit);
    return text;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string HexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

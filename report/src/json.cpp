#include "json.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The length of the valid UTF-8 sequence starting at s[i], or 0: no overlong
// forms, no surrogates, nothing past U+10FFFF.
size_t Utf8Length(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

void WriteString(std::string& out, const std::string& s) {
    out += '"';
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = Utf8Length(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out.append(s, i, n);
                }
        }
        i += n;
    }
    out += '"';
}

// The fewest significant digits that read back as `x` (x finite, not zero),
// and the power of ten of the first: x = 0.d1d2... x 10^point. A double
// with a form of 15 digits or fewer is that form padded with zeros when
// printed to 15 (15-digit decimals lie too far apart for another to be
// nearer), so 15, 16 and 17 are the only counts to try: printing a double
// is slow where the C library does it in big integers. Subnormal numbers
// hold fewer digits, and are counted up from one.
std::pair<std::string, int> ShortestDigits(double x) {
    char text[40];
    for (int precision = std::fabs(x) < DBL_MIN ? 0 : 14;; ++precision) {  // digits after the first
        std::snprintf(text, sizeof text, "%.*e", precision, x);
        if (std::strtod(text, nullptr) == x || precision >= 16) break;
    }
    std::string digits;
    const char* p = text;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    return {digits, exponent + 1};
}

// Plain notation while the decimal point lies within 15 digits, with ".0"
// after a whole number so that it reads back as a double; scientific beyond.
void WriteDouble(std::string& out, double x) {
    if (!std::isfinite(x)) {
        out += "null";
        return;
    }
    if (std::signbit(x)) out += '-';
    x = std::fabs(x);
    if (x == 0) {
        out += "0.0";
        return;
    }
    const auto [digits, point] = ShortestDigits(x);
    const int k = static_cast<int>(digits.size());
    if (k <= point && point <= 15) {
        out += digits + std::string(point - k, '0') + ".0";
    } else if (0 < point && point <= 15) {
        out += digits.substr(0, point) + "." + digits.substr(point);
    } else if (-4 < point && point <= 0) {
        out += "0." + std::string(-point, '0') + digits;
    } else {
        out += digits.substr(0, 1);
        if (k > 1) out += "." + digits.substr(1);
        const int e = point - 1;
        char exponent[16];
        std::snprintf(exponent, sizeof exponent, "e%c%02d", e < 0 ? '-' : '+', std::abs(e));
        out += exponent;
    }
}

void NewLine(std::string& out, int indent, int depth) {
    if (indent < 0) return;
    out += '\n';
    out.append(static_cast<size_t>(indent * depth), ' ');
}

// An array or object: `count` members between `open` and `close`, each on a
// line of its own when indenting, written by `member(i)`.
template <typename Member>
void WriteMembers(std::string& out, int indent, int depth, char open, char close, size_t count, Member member) {
    out += open;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ',';
        NewLine(out, indent, depth + 1);
        member(i);
    }
    if (count) NewLine(out, indent, depth);
    out += close;
}

}  // namespace

Json Json::Array(std::initializer_list<Json> items) {
    Json j;
    j.type_ = Type::Array;
    j.items_.assign(items.begin(), items.end());
    return j;
}

Json Json::Object(std::initializer_list<Field> fields) {
    Json j;
    j.type_ = Type::Object;
    for (const Field& f : fields) j.Set(f.first, f.second);
    return j;
}

void Json::Push(Json item) {
    if (type_ == Type::Null) type_ = Type::Array;
    items_.push_back(std::move(item));
}

void Json::Set(const std::string& key, Json value) {
    if (type_ == Type::Null) type_ = Type::Object;
    auto it = fields_.begin();
    while (it != fields_.end() && it->first < key) ++it;
    if (it != fields_.end() && it->first == key) it->second = std::move(value);
    else fields_.insert(it, {key, std::move(value)});
}

void Json::Merge(const Json& object) {
    for (const Field& f : object.fields_) Set(f.first, f.second);
}

std::string Json::Dump(int indent) const {
    std::string out;
    Write(out, indent, 0);
    return out;
}

void Json::Write(std::string& out, int indent, int depth) const {
    switch (type_) {
        case Type::Null: out += "null"; return;
        case Type::Bool: out += bool_ ? "true" : "false"; return;
        case Type::Signed: out += std::to_string(signed_); return;
        case Type::Unsigned: out += std::to_string(unsigned_); return;
        case Type::Double: WriteDouble(out, double_); return;
        case Type::String: WriteString(out, string_); return;
        case Type::Array:
            WriteMembers(out, indent, depth, '[', ']', items_.size(),
                         [&](size_t i) { items_[i].Write(out, indent, depth + 1); });
            return;
        case Type::Object:
            WriteMembers(out, indent, depth, '{', '}', fields_.size(), [&](size_t i) {
                WriteString(out, fields_[i].first);
                out += indent < 0 ? ":" : ": ";
                fields_[i].second.Write(out, indent, depth + 1);
            });
            return;
    }
}

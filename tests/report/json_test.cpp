// The JSON writer every front end prints through.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>

#include "json.h"

namespace {

using nlohmann::json;

// The JSON writer the command line and the page share, against the text of a
// second writer (nlohmann-json): the same bytes for integers, strings, nesting
// and key order; doubles read back as the same value.
TEST(JsonText, MatchesASecondWriter) {
    std::mt19937 random(7);
    auto text = [&] {
        std::string s;
        const char* pieces[] = {"a", "\"", "\\", "\n", "\t", "\x01", "\x1f", "\x7f", "é", "€", "😀", "/", " "};
        for (int n = random() % 6; n > 0; --n) s += pieces[random() % std::size(pieces)];
        return s;
    };
    std::function<std::pair<Json, json>(int)> tree = [&](int depth) -> std::pair<Json, json> {
        switch (depth ? random() % 6 : random() % 4) {
            case 0: { int64_t n = static_cast<int64_t>(random()) - (1LL << 31); return {Json(n), json(n)}; }
            case 1: { uint64_t n = (uint64_t{random()} << 32) | random(); return {Json(n), json(n)}; }
            case 2: { std::string s = text(); return {Json(s), json(s)}; }
            case 3: { bool b = random() % 2; return {b ? Json(b) : Json(), b ? json(b) : json(nullptr)}; }
            case 4: {
                Json a = Json::Array();
                json b = json::array();
                for (int n = random() % 4; n > 0; --n) {
                    auto [x, y] = tree(depth - 1);
                    a.Push(x);
                    b.push_back(y);
                }
                return {a, b};
            }
            default: {
                Json a = Json::Object();
                json b = json::object();
                for (int n = random() % 4; n > 0; --n) {
                    const std::string key = text();
                    auto [x, y] = tree(depth - 1);
                    a.Set(key, x);
                    b[key] = y;
                }
                return {a, b};
            }
        }
    };
    for (int i = 0; i < 500; ++i) {
        auto [ours, theirs] = tree(3);
        ASSERT_EQ(ours.Dump(2), theirs.dump(2)) << i;
        ASSERT_EQ(ours.Dump(), theirs.dump()) << i;
    }
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = (uint64_t{random()} << 32) | random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) continue;
        const std::string ours = Json(x).Dump();
        ASSERT_EQ(json::parse(ours).get<double>(), x) << ours;
        ASSERT_TRUE(json::parse(ours).is_number_float()) << ours;
    }
}

// Doubles and strings as the writer spells them, byte for byte.
TEST(JsonText, Vectors) {
    const std::pair<Json, const char*> rows[] = {
        {0.0, "0.0"},           {-0.0, "-0.0"},         {1.0, "1.0"},
        {-50.0, "-50.0"},       {0.1, "0.1"},           {10512.0 / 1024, "10.265625"},
        {1e-5, "1e-05"},        {0.0001, "0.0001"},     {1e14, "100000000000000.0"},
        {1e15, "1e+15"},        {1.5e300, "1.5e+300"},  {5e-324, "5e-324"},
        {std::nan(""), "null"}, {INFINITY, "null"},     {uint64_t{18446744073709551615u}, "18446744073709551615"},
        {int64_t{-9}, "-9"},    {"a\"\\\b\f\n\r\t\x01/", "\"a\\\"\\\\\\b\\f\\n\\r\\t\\u0001/\""},
        // Bytes that are no UTF-8 (a lone continuation byte, an overlong
        // form, a surrogate, a cut sequence) each become U+FFFD.
        {"\x80|\xC0\xAF|\xED\xA0\x80|\xE2\x82", "\"\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {Json::Object({{"b", 1}, {"a", Json::Array()}, {"b", 2}}), "{\"a\":[],\"b\":2}"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(value.Dump(), text);
    EXPECT_EQ(Json::Object({{"k", Json::Array({1, Json::Object()})}}).Dump(2), "{\n  \"k\": [\n    1,\n    {}\n  ]\n}");
}

}  // namespace

// A JSON value and its text, standard library only, so that every front end
// (the command line, the browser page's binding) writes the same text for
// the same value. Object keys are kept sorted, numbers stay integers unless
// they are doubles, and a double that is not finite is written as null.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class Json {
public:
    using Field = std::pair<std::string, Json>;

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : type_(Type::Bool), bool_(b) {}
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    Json(T n) {
        if constexpr (std::is_signed_v<T>) {
            type_ = Type::Signed;
            signed_ = n;
        } else {
            type_ = Type::Unsigned;
            unsigned_ = n;
        }
    }
    Json(double x) : type_(Type::Double), double_(x) {}
    Json(const char* s) : type_(Type::String), string_(s) {}
    Json(std::string s) : type_(Type::String), string_(std::move(s)) {}
    template <class T>
    Json(const std::optional<T>& value) {
        if (value) *this = Json(*value);
    }
    template <class T>
    Json(const std::vector<T>& items) : type_(Type::Array) {
        for (const T& item : items) items_.emplace_back(item);
    }

    static Json Array(std::initializer_list<Json> items = {});
    // Later fields of the same key replace earlier ones.
    static Json Object(std::initializer_list<Field> fields = {});

    bool IsNull() const { return type_ == Type::Null; }
    // The items of an array, the fields of an object.
    size_t Size() const { return type_ == Type::Array ? items_.size() : fields_.size(); }
    // Appends to an array.
    void Push(Json item);
    // Sets a field of an object, replacing one of the same key.
    void Set(const std::string& key, Json value);
    // Sets every field of `object` in this one.
    void Merge(const Json& object);

    // The text: on one line without spaces when `indent` is negative, else one
    // value per line, nested `indent` spaces deeper. Strings are taken as
    // UTF-8; a byte that is not part of a valid sequence becomes U+FFFD.
    std::string Dump(int indent = -1) const;

private:
    enum class Type { Null, Bool, Signed, Unsigned, Double, String, Array, Object };
    Type type_ = Type::Null;
    bool bool_ = false;
    int64_t signed_ = 0;
    uint64_t unsigned_ = 0;
    double double_ = 0;
    std::string string_;
    std::vector<Json> items_;
    std::vector<Field> fields_;  // sorted by key

    void Write(std::string& out, int indent, int depth) const;
};

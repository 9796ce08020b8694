// result: how the core's functions over bytes say that they could not give
// what was asked. One convention for the whole core, as the image model's
// plans carry their problems: a function that can fail returns a Result,
// holding its value or a CoreError, a code with the numbers that say where
// and how much. Nothing is printed or thrown; each front end words the code.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

enum class CoreProblem {
    PastEnd,      // the `bytes` bytes at `offset` do not all lie inside the `room` bytes given
    TooLong,      // `bytes` values, more than the `room` a length field counts
    NotFound,     // nothing matches from `offset` to the end (`room` bytes)
    UnknownKind,  // the sample header at `offset` declares a type that no kind has
};

struct CoreError {
    CoreProblem code = CoreProblem::PastEnd;
    uint64_t offset = 0;
    uint64_t bytes = 0;
    uint64_t room = 0;
};

template <class T>
struct Result {
    T value{};
    std::optional<CoreError> error;

    Result(T v = T{}) : value(std::move(v)) {}  // a value, as `return value;` gives it
    Result(T v, CoreError e) : value(std::move(v)), error(e) {}
    bool Ok() const { return !error.has_value(); }
};

template <class T>
Result<T> Failure(CoreError error) {
    return Result<T>(T{}, error);
}

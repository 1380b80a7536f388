#pragma once

#include <optional>
#include <string>
#include <utility>

// A value, or the reason there is none: what a check or a parse of typed
// text gives when failing is an everyday outcome the caller shows, not an
// exception. The reason is the exact text the user reads.
namespace vestrel {

// The reason a Result holds no value: `return Failure{"register 7 is given twice"};`.
struct Failure {
    std::string why;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts, as with optional
    Result(Failure failure) : why_(std::move(failure.why)) {}  // NOLINT

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Empty when there is a value.
    const std::string& Why() const { return why_; }

private:
    std::optional<T> value_;
    std::string why_;
};

// A check that gives nothing back: `return {};` when it passes.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failed_(true), why_(std::move(failure.why)) {}  // NOLINT

    explicit operator bool() const { return !failed_; }
    const std::string& Why() const { return why_; }

private:
    bool failed_ = false;
    std::string why_;
};

}  // namespace vestrel

// The result type of every core operation: a code callers branch on and one English sentence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace patcher {

// The numbers are part of the interface: exit codes and check outcomes report them unchanged.
enum class StatusCode : std::int32_t {
    Ok = 0,
    BadInput = 1,
    BadSignature = 2,
    Rollback = 3,
    Expired = 4,
    RevokedKey = 5,
    BadFormat = 6,
    ContentMismatch = 7,
};

struct Status {
    StatusCode code = StatusCode::Ok;
    std::string message;

    Status() = default;
    Status(StatusCode c, std::string m) : code(c), message(std::move(m)) {}

    static Status Success() { return Status(); }
    bool ok() const { return code == StatusCode::Ok; }
};

// Either a value or the failed Status of the step that could not produce it.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Status failure) : status_(std::move(failure)) {
        // A failure without a failure code would read as success with no value; keep it a failure.
        if (status_.ok()) status_ = Status(StatusCode::BadInput, "internal error: empty result");
    }

    bool ok() const { return value_.has_value(); }
    const Status& status() const { return status_; }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }

  private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace patcher

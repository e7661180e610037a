// The result of a reader: success, or a failure carrying the
// exact message the program prints when the failure ends it.
#pragma once

#include <string>
#include <utility>

namespace lumo {

class [[nodiscard]] Status {
  public:
    Status() = default;  // success
    static Status Ok() { return Status(); }
    static Status Error(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // The full message, including its trailing line feed where it has one.
    const std::string& message() const { return message_; }

  private:
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    std::string message_;
};

}  // namespace lumo

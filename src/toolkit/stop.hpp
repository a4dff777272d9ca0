#pragma once
// The one way a run ends early: throw stop_error; main prints it and returns its status.

#include <stdexcept>
#include <string>

namespace quorl {

// A run that ends before its normal end. main() writes `stdout_text` to standard output
// first (when not empty), then "ERROR STOP " + what() to standard error, and exits with `status`.
class stop_error : public std::runtime_error {
public:
    stop_error(std::string message, int status, std::string stdout_text = {})
        : std::runtime_error(std::move(message)), status_(status), stdout_text_(std::move(stdout_text)) {}

    int status() const noexcept { return status_; }
    const std::string& stdout_text() const noexcept { return stdout_text_; }

private:
    int status_;
    std::string stdout_text_;
};

// Fatal error: "ERROR STOP <message>" on standard error, exit status 1.
[[noreturn]] inline void fatal(std::string message) { throw stop_error(std::move(message), 1); }

// Fatal stop with code 1 after a diagnostic written to standard output: "ERROR STOP 1".
[[noreturn]] inline void fatal_after_output(std::string stdout_text) {
    throw stop_error("1", 1, std::move(stdout_text));
}

// Fatal stop without a message ("ERROR STOP " alone) after text written to standard output.
[[noreturn]] inline void bare_stop(std::string stdout_text) {
    throw stop_error("", 1, std::move(stdout_text));
}

// A report or results file that cannot be created or written, or a plot command that
// cannot be run: exit status 2.
[[noreturn]] inline void file_error(std::string message) { throw stop_error(std::move(message), 2); }

}  // namespace quorl

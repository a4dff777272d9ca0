#pragma once
// Helpers shared by the tests: running the real binary, temporary folders, TOML fixtures and
// checking that a call ends the run with a given message.

#include <filesystem>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "stop.hpp"

namespace quorl::test {

struct run_result {
    int status = -1;      // exit status; 128 + signal number when killed by a signal
    std::string out;      // standard output
    std::string err;      // standard error
};

// Runs `binary` with the arguments in `workdir` (limited to `timeout_seconds`).
run_result run_program(const std::string& binary, const std::vector<std::string>& args,
                       const std::filesystem::path& workdir, int timeout_seconds = 120);

// Runs the quorl binary with the arguments in `workdir` (limited to `timeout_seconds`).
inline run_result run_quorl(const std::vector<std::string>& args, const std::filesystem::path& workdir,
                            int timeout_seconds = 120) {
    return run_program(QUORL_BINARY, args, workdir, timeout_seconds);
}

// A new empty folder for one test, under the build tree (removed and recreated).
std::filesystem::path fresh_dir(std::string_view name);

void write_file(const std::filesystem::path& path, std::string_view text);
std::string read_file(const std::filesystem::path& path);

// Parses TOML text; a syntax error fails the test and returns an empty table.
toml::table parse_toml(std::string_view text);

// Path of a file of the source tree.
std::filesystem::path source_path(std::string_view name);

// Golden outputs: kept under tests/golden, compared byte for byte, and written instead when
// QUORL_UPDATE_GOLDEN=1 (scripts/remake_golden.sh). A report's heading line, which carries the
// date and time of the run, is left out of the comparison.
std::filesystem::path golden_path(std::string_view name);
bool updating_golden();
std::string without_date(const std::string& text);

// The value after a label of the report and its colon ("Power", "Efficiency", "Compression
// (total-total)", "Mass flow rate", ...), NaN when the label is missing.
double report_value(const std::string& out, const std::string& label);

// Runs `f` with standard output captured and returns what it printed. When `f` throws, the
// capture ends before the exception passes on, so that the next capture can start.
template <class F>
std::string captured_stdout(F&& f) {
    testing::internal::CaptureStdout();
    try {
        std::forward<F>(f)();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    return testing::internal::GetCapturedStdout();
}

// The system Python with matplotlib and numpy.
inline constexpr const char* system_python = QUORL_SYSTEM_PYTHON;

}  // namespace quorl::test

// Expects `statement` to end the run with exactly `message` and exit status `status`.
#define EXPECT_STOP_STATUS(statement, message, status_value)                                  \
    do {                                                                                      \
        bool quorl_stopped_ = false;                                                          \
        try {                                                                                 \
            statement;                                                                        \
        } catch (const ::quorl::stop_error& quorl_e_) {                                       \
            quorl_stopped_ = true;                                                            \
            EXPECT_EQ(std::string(quorl_e_.what()), std::string(message));                    \
            EXPECT_EQ(quorl_e_.status(), (status_value));                                     \
        }                                                                                     \
        EXPECT_TRUE(quorl_stopped_) << "expected the run to stop with: " << (message);        \
    } while (0)

// Expects `statement` to end the run with the fatal error `message` (exit status 1).
#define EXPECT_STOP(statement, message) EXPECT_STOP_STATUS(statement, message, 1)

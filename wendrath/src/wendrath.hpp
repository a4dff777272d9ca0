#pragma once
// MATLAB level-5 MAT-file writer: a 128-byte header followed by one miMATRIX element per
// variable, each a named array of 64-bit reals. Every number is written little-endian,
// whatever the byte order of the host.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wendrath {

// Any failure of the writer. file_error() is true when the file could not be created or
// written, false for a refused request (read action, unknown action, rank above 7).
class matfile_error : public std::runtime_error {
public:
    matfile_error(const std::string& message, bool file_error)
        : std::runtime_error(message), file_error_(file_error) {}
    bool file_error() const noexcept { return file_error_; }

private:
    bool file_error_;
};

// Local date and time of the header, to the millisecond.
struct timestamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local date and time now.
timestamp local_timestamp();

// The header's 116 characters of text for a moment and an optional description
// (absent: "wendrath").
std::string header_text(const timestamp& when, std::optional<std::string_view> description);

class matfile {
public:
    std::int32_t unit = -1;   // file descriptor of the open file; -1 when closed
    std::string action;       // "write" after a successful open; empty before

    // Source of the header's date and time; the local clock unless a caller replaces it.
    std::function<timestamp()> clock = local_timestamp;

    matfile() = default;
    matfile(const matfile&) = delete;
    matfile& operator=(const matfile&) = delete;
    ~matfile();  // closes the file when still open

    // Accepts "W", "WRITE", "w", "write" (trailing blanks ignored): creates or replaces the
    // file (trailing blanks of the name dropped) and writes the header.
    void open_matfile(std::string_view filename, std::string_view action,
                      std::optional<std::string_view> description = std::nullopt);

    // The same on a file that is open already: writes to a duplicate of `descriptor` from
    // where it stands (at the end where it appends), so that a pipe or a log opened for
    // appending keeps what it holds; closing closes only the duplicate. `filename` names the
    // file in messages.
    void open_matfile_descriptor(int descriptor, std::string_view filename, std::string_view action,
                                 std::optional<std::string_view> description = std::nullopt);

    // Appends one variable: x in column-major order with the given extents. No extents is a
    // scalar; at most 7 extents.
    void write_real64(std::string_view name, std::span<const double> x, std::span<const std::int64_t> extents);
    void write_real64(std::string_view name, std::span<const double> x, std::initializer_list<std::int64_t> extents) {
        write_real64(name, x, std::span<const std::int64_t>(extents.begin(), extents.size()));
    }
    void write_real64(std::string_view name, double x) {
        write_real64(name, std::span<const double>(&x, 1), std::span<const std::int64_t>());
    }

    // Closes the file if one is open; a failure to finish writing it is reported.
    void close_matfile();

private:
    static void check_action(std::string_view action_text);
    void start(const std::string& header);
    void put(const std::string& bytes);

    std::FILE* file_ = nullptr;
    std::string filename_;
};

}  // namespace wendrath

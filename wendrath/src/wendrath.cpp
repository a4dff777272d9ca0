#include "wendrath.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <ctime>
#include <limits>
#include <vector>

namespace wendrath {

namespace {

// Element types and array class of the level-5 format.
constexpr std::int32_t miINT8 = 1;
constexpr std::int32_t miINT32 = 5;
constexpr std::int32_t miUINT32 = 6;
constexpr std::int32_t miDOUBLE = 9;
constexpr std::int32_t miMATRIX = 14;
constexpr std::int32_t mxDOUBLE_CLASS = 6;

constexpr std::size_t header_text_length = 116;
constexpr std::size_t max_rank = 7;

std::string_view trim_right(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

void append_int32(std::string& out, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((u >> shift) & 0xffu));
}

void append_real64(std::string& out, double value) {
    const auto u = std::bit_cast<std::uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<char>((u >> shift) & 0xffu));
}

// Tag miINT32 with the values, padded by one zero to an 8-byte boundary when their number is odd.
void append_entry_int32(std::string& out, std::span<const std::int32_t> values) {
    append_int32(out, miINT32);
    append_int32(out, static_cast<std::int32_t>(4 * values.size()));
    for (std::int32_t v : values) append_int32(out, v);
    if (values.size() % 2 != 0) append_int32(out, 0);
}

std::int64_t padded8(std::int64_t n) { return 8 * ((n + 7) / 8); }

}  // namespace

timestamp local_timestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(now - system_clock::from_time_t(seconds)).count();
    timestamp t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(ms < 0 ? 0 : (ms > 999 ? 999 : ms));
    return t;
}

std::string header_text(const timestamp& when, std::optional<std::string_view> description) {
    char moment[64];
    std::snprintf(moment, sizeof moment, "%04d%02d%02d  %02d%02d%02d.%03d", when.year, when.month, when.day,
                  when.hour, when.minute, when.second, when.millisecond);
    std::string text = "MATLAB 5.0 MAT-file, Platform: LINUX64, Created on: ";
    text += moment;
    text += ' ';
    text += description ? *description : std::string_view("wendrath");
    text.resize(header_text_length, ' ');
    return text;
}

matfile::~matfile() {
    if (file_ != nullptr) std::fclose(file_);
}

void matfile::check_action(std::string_view action_text) {
    const std::string_view word = trim_right(action_text);
    if (word == "R" || word == "READ" || word == "r" || word == "read")
        throw matfile_error("matfile: reading is not yet implemented", false);
    if (!(word == "W" || word == "WRITE" || word == "w" || word == "write"))
        throw matfile_error("matfile: unknown action " + std::string(action_text), false);
}

void matfile::open_matfile(std::string_view filename, std::string_view action_text,
                           std::optional<std::string_view> description) {
    check_action(action_text);
    close_matfile();
    filename_ = std::string(trim_right(filename));
    const std::string header = header_text(clock(), description);

    // A name with an embedded NUL would open a different file than the one named.
    if (filename_.find('\0') == std::string::npos) file_ = std::fopen(filename_.c_str(), "wb");
    start(header);
}

void matfile::open_matfile_descriptor(int descriptor, std::string_view filename, std::string_view action_text,
                                      std::optional<std::string_view> description) {
    check_action(action_text);
    close_matfile();
    filename_ = std::string(filename);
    const std::string header = header_text(clock(), description);

    // fdopen neither truncates nor moves the file's position.
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0) {
        file_ = ::fdopen(copy, "wb");
        if (file_ == nullptr) ::close(copy);
    }
    start(header);
}

void matfile::start(const std::string& header) {
    if (file_ == nullptr) throw matfile_error("matfile: cannot open file '" + filename_ + "' for writing", true);
    unit = fileno(file_);
    action = "write";

    std::string bytes = header;
    append_int32(bytes, 0);  // subsystem-data offset, 8 bytes of zero
    append_int32(bytes, 0);
    bytes.push_back('\x00');  // version 0x0100, little-endian
    bytes.push_back('\x01');
    bytes += "IM";
    put(bytes);
}

void matfile::write_real64(std::string_view name, std::span<const double> x, std::span<const std::int64_t> extents) {
    if (file_ == nullptr) throw std::logic_error("matfile: write_real64 on a file that is not open");

    // Every size in the element is an int32: refuse what it cannot describe rather than
    // write wrapped sizes.
    constexpr std::int64_t int32_max = std::numeric_limits<std::int32_t>::max();
    const std::string too_large = "matfile: variable '" + std::string(name) + "' is too large for a MAT-file";
    std::int64_t count = 1;
    for (std::int64_t e : extents) {
        if (e < 0) throw std::invalid_argument("matfile: negative extent of variable '" + std::string(name) + "'");
        if (e > int32_max) throw matfile_error(too_large, false);
        count = (count > int32_max && e != 0) ? count : count * e;  // saturates above the limit
    }
    const auto nd = static_cast<std::int64_t>(extents.empty() ? 1 : extents.size());
    const auto L = static_cast<std::int64_t>(name.size());
    if (count > int32_max || nd > int32_max / 8 || L > int32_max) throw matfile_error(too_large, false);
    const std::int64_t N = 40 + padded8(4 * nd) + padded8(L) + 8 * count;
    if (N > int32_max) throw matfile_error(too_large, false);
    if (static_cast<std::int64_t>(x.size()) != count)
        throw std::invalid_argument("matfile: variable '" + std::string(name) +
                                    "' has a number of values that its extents do not give");

    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(8 + N));
    append_int32(bytes, miMATRIX);
    append_int32(bytes, static_cast<std::int32_t>(N));

    append_int32(bytes, miUINT32);  // array flags: class double, real, not global, not logical
    append_int32(bytes, 8);
    append_int32(bytes, mxDOUBLE_CLASS);
    append_int32(bytes, 1);

    std::vector<std::int32_t> dims;
    if (extents.empty()) dims.push_back(1);
    for (std::int64_t e : extents) dims.push_back(static_cast<std::int32_t>(e));
    append_entry_int32(bytes, dims);

    append_int32(bytes, miINT8);  // name, zero-padded to 8 bytes; never the packed short form
    append_int32(bytes, static_cast<std::int32_t>(L));
    bytes.append(name);
    bytes.append(static_cast<std::size_t>(padded8(L) - L), '\0');

    append_int32(bytes, miDOUBLE);
    append_int32(bytes, static_cast<std::int32_t>(8 * count));
    if (extents.size() > max_rank) {
        put(bytes);
        throw matfile_error("matfile: rank > 7 not supported", false);
    }
    for (double v : x) append_real64(bytes, v);
    put(bytes);
}

void matfile::close_matfile() {
    if (file_ == nullptr) return;
    std::FILE* f = file_;
    file_ = nullptr;
    unit = -1;
    if (std::fclose(f) != 0) throw matfile_error("matfile: cannot write file '" + filename_ + "'", true);
}

void matfile::put(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::ferror(file_) != 0)
        throw matfile_error("matfile: cannot write file '" + filename_ + "'", true);
}

}  // namespace wendrath

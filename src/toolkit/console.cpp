#include "console.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace quorl::console {

namespace {

std::string right_justify(std::string s, std::size_t w) {
    if (s.size() >= w) return s;
    std::string padded(w - s.size(), ' ');
    padded += s;
    return padded;
}

}  // namespace

std::string format_real(double x) {
    if (std::isnan(x)) return right_justify("NaN", 25);
    if (std::isinf(x)) return right_justify(x > 0 ? "Infinity" : "-Infinity", 25);

    char buf[64];
    // 17 significant digits, rounded to nearest; the exponent tells which form applies.
    std::snprintf(buf, sizeof buf, "%.16E", x);
    const char* e = std::strchr(buf, 'E');
    const int exponent = std::atoi(e + 1);

    if (x == 0.0 || (exponent >= -1 && exponent <= 16)) {
        const int decimals = (x == 0.0) ? 16 : 16 - exponent;
        std::snprintf(buf, sizeof buf, "%#.*f", decimals, x);
        return right_justify(buf, 20) + "     ";
    }

    // Exponent form: d.dddddddddddddddd E sign three digits.
    std::string mantissa(buf, static_cast<std::size_t>(e - buf));
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return right_justify(mantissa + tail, 25);
}

std::string format_integer(std::int32_t n) { return right_justify(std::to_string(n), 11); }

std::string record(std::initializer_list<item> items) {
    std::string out;
    if (items.size() == 0) return out;
    out.push_back(' ');
    bool previous_was_text = false;
    bool first = true;
    for (const item& it : items) {
        const bool is_text = it.type() == item::kind::text;
        if (!first && !(is_text && previous_was_text)) out.push_back(' ');
        switch (it.type()) {
            case item::kind::text: out.append(it.text()); break;
            case item::kind::real: out.append(format_real(it.real())); break;
            case item::kind::integer: out.append(format_integer(it.integer())); break;
            case item::kind::logical: out.push_back(it.logical() ? 'T' : 'F'); break;
        }
        previous_was_text = is_text;
        first = false;
    }
    return out;
}

void write(std::ostream& out, std::initializer_list<item> items) { out << record(items) << '\n'; }

void write_now(std::ostream& out, std::initializer_list<item> items) { out << record(items) << std::endl; }

void warn(std::string_view text) {
    const std::string line = record({text});
    std::cout << line << std::endl;
    std::cerr << line << std::endl;
}

namespace {

int first_stdout_error = 0;

// Counts `error` as the failure of standard output unless an earlier one is counted (a standard
// output that was closed when the run started, for example).
void note_standard_output_error(int error) {
    if (first_stdout_error == 0) first_stdout_error = error != 0 ? error : EIO;
}

// std::cout's buffer while standard output is watched: every operation goes straight to stdio's
// stdout, as in the library's own synchronised buffer, and a failure keeps its errno.
class watched_stdout : public std::streambuf {
protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (std::putc(traits_type::to_char_type(c), stdout) == EOF) {
            note_standard_output_error(errno);
            return traits_type::eof();
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::size_t written = std::fwrite(s, 1, static_cast<std::size_t>(n), stdout);
        if (written < static_cast<std::size_t>(n)) note_standard_output_error(errno);
        return static_cast<std::streamsize>(written);
    }
    int sync() override {
        if (std::fflush(stdout) == 0) return 0;
        note_standard_output_error(errno);
        return -1;
    }
};

}  // namespace

void watch_standard_output() {
    // A standard stream that was closed when the run started gets /dev/null, so that no file
    // that the run opens takes its number and receives console lines; a closed standard output
    // is a failed one.
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
        if (fd == STDOUT_FILENO) note_standard_output_error(EBADF);
    }
    // Never destroyed: std::cout is flushed once more when the process exits.
    static watched_stdout* const buffer = new watched_stdout;
    std::cout.flush();
    std::cout.rdbuf(buffer);
}

int standard_output_error() {
    std::cout.flush();
    // What stdio still holds, also once std::cout has stopped writing after a failure.
    if (std::fflush(stdout) != 0) note_standard_output_error(errno);
    // A failure that stdio met where the stream did not see it (a write of buffered output).
    if (first_stdout_error == 0 && std::ferror(stdout)) note_standard_output_error(EIO);
    return first_stdout_error;
}

std::string format_A(std::string_view s, int w) {
    const std::size_t width = static_cast<std::size_t>(w);
    if (s.size() >= width) return std::string(s.substr(0, width));
    return right_justify(std::string(s), width);
}

std::string format_I(std::int64_t n, int w) {
    std::string s = std::to_string(n);
    if (s.size() > static_cast<std::size_t>(w)) return std::string(static_cast<std::size_t>(w), '*');
    return right_justify(s, static_cast<std::size_t>(w));
}

std::string format_F(double x, int w, int d) {
    const std::size_t width = static_cast<std::size_t>(w);
    std::string s;
    if (std::isnan(x)) {
        s = "NaN";
    } else if (std::isinf(x)) {
        s = x > 0 ? "Infinity" : "-Infinity";
        if (s.size() > width) s = x > 0 ? "Inf" : "-Inf";
    } else {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.*f", d, x);
        s = buf;
    }
    if (s.size() > width) return std::string(width, '*');
    return right_justify(s, width);
}

}  // namespace quorl::console

#include "console.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

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

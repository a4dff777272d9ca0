#include "pyplot_module.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pyplot_module {

namespace {

void append_hex(std::string& out, std::uint32_t value, int digits) {
    static constexpr char hex[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xFu];
}

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when the bytes there are not
// a valid, shortest-form sequence of a scalar value.
std::size_t decode_utf8(std::string_view text, std::size_t i, std::uint32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string python_string(std::string_view text) {
    std::string out = "'";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '\\': out += "\\\\"; break;
                case '\'': out += "\\'"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c >= 0x20 && c < 0x7F) {
                        out += static_cast<char>(c);
                    } else {
                        out += "\\x";
                        append_hex(out, c, 2);
                    }
            }
            ++i;
            continue;
        }
        std::uint32_t code = 0;
        const std::size_t length = decode_utf8(text, i, code);
        if (length == 0) {
            // An undecodable byte: Python's surrogate escape, which gives the byte back when
            // the text is used as a file name.
            out += "\\udc";
            append_hex(out, c, 2);
            ++i;
        } else {
            if (code <= 0xFFFF) {
                out += "\\u";
                append_hex(out, code, 4);
            } else {
                out += "\\U";
                append_hex(out, code, 8);
            }
            i += length;
        }
    }
    out += "'";
    return out;
}

std::string python_float(double value) {
    if (std::isnan(value)) return "float('nan')";
    if (std::isinf(value)) return value > 0 ? "float('inf')" : "-float('inf')";
    // Python's repr: the shortest digits that read back as exactly this double, in fixed form
    // for decimal exponents from -4 to 15 and in exponent form otherwise; independent of the
    // C locale.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const char* e = std::find(buffer, result.ptr, 'e') + 1;  // "e+NN" or "e-NN"
    int exponent = 0;
    std::from_chars(e + (*e == '+' ? 1 : 0), result.ptr, exponent);
    if (exponent >= -4 && exponent < 16)
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    // Without a point or an exponent Python reads an integer, and -0 would lose its sign.
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

void pyplot::initialize(bool grid, std::string_view xlabel, std::string_view ylabel, std::string_view title,
                        bool legend, bool axis_equal) {
    grid_ = grid;
    xlabel_ = xlabel;
    ylabel_ = ylabel;
    title_ = title;
    legend_ = legend;
    axis_equal_ = axis_equal;
    lines_.clear();
}

void pyplot::add_plot(std::span<const double> x, std::span<const double> y, std::string_view label,
                      std::string_view linestyle, int linewidth) {
    const auto list = [this](char name, std::span<const double> values) {
        lines_ += name;
        lines_ += " = [";
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i > 0) lines_ += ", ";
            lines_ += python_float(values[i]);
        }
        lines_ += "]\n";
    };
    list('x', x);
    list('y', y);
    lines_ += "plt.plot(x, y, " + python_string(linestyle) + ", linewidth=" + std::to_string(linewidth) +
              ", label=" + python_string(label) + ")\n";
}

std::string pyplot::script(std::string_view figure_file, std::string_view dpi_text) const {
    std::string s;
    s += "import matplotlib\n";
    s += "matplotlib.use('Agg')\n";
    s += "import matplotlib.pyplot as plt\n";
    s += "\n";
    s += "plt.figure()\n";
    s += lines_;
    if (grid_) s += "plt.grid(True)\n";
    s += "plt.xlabel(" + python_string(xlabel_) + ")\n";
    s += "plt.ylabel(" + python_string(ylabel_) + ")\n";
    s += "plt.title(" + python_string(title_) + ")\n";
    if (axis_equal_) s += "plt.axis('equal')\n";
    if (legend_) s += "plt.legend()\n";
    s += "plt.savefig(" + python_string(figure_file) + ", dpi=int(" + python_string(dpi_text) + "))\n";
    s += "plt.close()\n";
    return s;
}

void pyplot::savefig(std::string_view figure_file, std::string_view dpi_text,
                     std::string_view python_command) const {
    const std::filesystem::path script_path = temp_script_name;
    const auto remove_script = [&] {
        std::error_code ignored;
        std::filesystem::remove(script_path, ignored);
    };

    {
        const auto cannot_write = [] {
            return pyplot_error(std::string("pyplot: cannot write the temporary script '") + temp_script_name + "'");
        };
        std::ofstream out(script_path, std::ios::binary | std::ios::trunc);
        if (!out) throw cannot_write();  // nothing of ours to remove
        out << script(figure_file, dpi_text);
        out.close();
        if (!out) {
            remove_script();
            throw cannot_write();
        }
    }

    const std::string command = std::string(python_command) + " " + temp_script_name;
    // Whatever this process has written so far goes out before the interpreter's own output.
    std::fflush(nullptr);
    const bool have_shell = std::system(nullptr) != 0;
    const int status = have_shell ? std::system(command.c_str()) : -1;
    remove_script();

    if (status == -1) {
        throw pyplot_error("pyplot: cannot start a shell to run the Python command '" + std::string(python_command) +
                           "'");
    }
    // The shell's own codes for a command that it cannot find (127) or cannot execute (126).
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 127 || WEXITSTATUS(status) == 126)) {
        throw pyplot_error("pyplot: cannot run the Python command '" + std::string(python_command) + "'");
    }
}

void pyplot::destroy() { *this = pyplot{}; }

}  // namespace pyplot_module

#include "pyplot_module.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

extern char** environ;

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

// The signals that end a run while a figure is drawn.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// The ending signals (those that this process does not ignore) and SIGCHLD, blocked for the
// lifetime of the object and taken one by one with sigtimedwait: a signal that arrives while
// a figure is drawn can neither be lost nor end the process with the script left behind.
class held_signals {
public:
    held_signals() {
        sigemptyset(&set_);
        for (const int s : ending_signals) {
            struct sigaction current {};
            if (::sigaction(s, nullptr, &current) == 0 && !ignored(current)) sigaddset(&set_, s);
        }
        // An ignored SIGCHLD would reap the shell before waitpid sees its status.
        if (::sigaction(SIGCHLD, nullptr, &old_chld_) == 0 && ignored(old_chld_)) {
            struct sigaction dfl {};
            dfl.sa_handler = SIG_DFL;
            sigemptyset(&dfl.sa_mask);
            restore_chld_ = ::sigaction(SIGCHLD, &dfl, nullptr) == 0;
        }
        sigaddset(&set_, SIGCHLD);
        pthread_sigmask(SIG_BLOCK, &set_, &old_mask_);
    }
    ~held_signals() { release(); }
    held_signals(const held_signals&) = delete;
    held_signals& operator=(const held_signals&) = delete;

    const sigset_t& signals() const { return set_; }
    const sigset_t& original_mask() const { return old_mask_; }

    // Restores the signal mask and the disposition of SIGCHLD.
    void release() {
        if (released_) return;
        released_ = true;
        pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
        if (restore_chld_) ::sigaction(SIGCHLD, &old_chld_, nullptr);
    }

private:
    static bool ignored(const struct sigaction& a) {
        return (a.sa_flags & SA_SIGINFO) == 0 && a.sa_handler == SIG_IGN;
    }

    sigset_t set_{};
    sigset_t old_mask_{};
    struct sigaction old_chld_ {};
    bool restore_chld_ = false;
    bool released_ = false;
};

// Creates the script file new (never over an existing file) under the first free name of this
// process; returns its descriptor, or -1 with the name tried last in `name`.
int create_script(std::string& name) {
    const std::string stem = temp_script_prefix + std::to_string(::getpid());
    for (int k = 0; k < 100; ++k) {
        name = k == 0 ? stem + ".py" : stem + "_" + std::to_string(k) + ".py";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Starts /bin/sh -c command as the leader of a new session, so of a process group of its own
// and without a controlling terminal: reading or writing the terminal can never stop it, and
// its standard input is /dev/null, so that it reads end-of-file. It gets the signal mask that
// this process had before the figure. Returns its process id, or -1.
pid_t spawn_shell(const std::string& command, const sigset_t& mask) {
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return -1;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attr);
        return -1;
    }
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setsigmask(&attr, &mask);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string sh = "sh", c = "-c", text = command;
    char* const argv[] = {sh.data(), c.data(), text.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return error == 0 ? pid : -1;
}

// Ends the shell's process group: the signal first (SIGTERM in place of SIGQUIT, which would
// leave core files, and of SIGPIPE, which Python ignores), SIGKILL after a grace of two
// seconds, and SIGKILL for whatever of the group outlives the shell.
void stop_group(pid_t pid, int signal) {
    ::kill(-pid, signal == SIGQUIT || signal == SIGPIPE ? SIGTERM : signal);
    int status = 0;
    bool ended = false;
    for (int tick = 0; tick < 200 && !ended; ++tick) {
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) {
            const timespec pause{0, 10'000'000};
            ::nanosleep(&pause, nullptr);
        }
    }
    ::kill(-pid, SIGKILL);
    if (!ended) ::waitpid(pid, &status, 0);
}

// Waits for the shell; returns 0 with its wait status in `status`, or the held ending signal
// that arrived first, after the shell's process group has been stopped.
int wait_for(pid_t pid, const sigset_t& held, int& status) {
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return 0;
        if (r < 0 && errno != EINTR) {
            status = 0;  // reaped elsewhere: its status is unknown
            return 0;
        }
        const timespec tick{0, 100'000'000};
        const int s = ::sigtimedwait(&held, nullptr, &tick);
        if (s > 0 && s != SIGCHLD) {
            stop_group(pid, s);
            return s;
        }
    }
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

int pyplot::savefig(std::string_view figure_file, std::string_view dpi_text,
                    std::string_view python_command) const {
    const std::string python(python_command);
    held_signals held;  // from before the script exists until it is gone
    std::string name;
    const int fd = create_script(name);
    const auto cannot_write = [&] { return pyplot_error("pyplot: cannot write the temporary script '" + name + "'"); };
    if (fd < 0) throw cannot_write();  // nothing of ours to remove
    const bool written = write_all(fd, script(figure_file, dpi_text));
    if (::close(fd) != 0 || !written) {
        ::unlink(name.c_str());
        throw cannot_write();
    }

    // Whatever this process has written so far goes out before the interpreter's own output.
    std::fflush(nullptr);
    const pid_t pid = spawn_shell(python + " " + name, held.original_mask());
    if (pid < 0) {
        ::unlink(name.c_str());
        throw pyplot_error("pyplot: cannot start a shell to run the Python command '" + python + "'");
    }
    int status = 0;
    const int stop_signal = wait_for(pid, held.signals(), status);
    ::unlink(name.c_str());
    if (stop_signal != 0) {
        // Raised while still held, so it is delivered as soon as the old mask is back.
        ::raise(stop_signal);
        held.release();
        throw pyplot_error("pyplot: the Python command '" + python + "' was interrupted");
    }

    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    if (!WIFEXITED(status)) return 0;
    // The shell's own codes for a command that it cannot find (127) or cannot execute (126).
    if (WEXITSTATUS(status) == 127 || WEXITSTATUS(status) == 126)
        throw pyplot_error("pyplot: cannot run the Python command '" + python + "'");
    return WEXITSTATUS(status);
}

void pyplot::destroy() { *this = pyplot{}; }

}  // namespace pyplot_module

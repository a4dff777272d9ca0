#include "pyplot_module.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
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

// The signals that end a run while a figure is drawn: those sent from outside whose default
// action ends the process, and the real-time signals SIGRTMIN..SIGRTMAX (not the ones below,
// which the C library keeps for itself). The output files (src/toolkit) handle the same list;
// this package depends on nothing of the program, so it keeps its own.
constexpr int ending_signals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};

template <class Action>
void for_each_ending_signal(Action action) {
    for (const int s : ending_signals) action(s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) action(s);
}

// The signals of the process's own faults, which keep the system's and the sanitizers' handling:
// never held.
constexpr int fault_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

// The ending signals (those that this process does not ignore) and SIGCHLD, blocked for the
// lifetime of the object and taken one by one with sigtimedwait: a signal that arrives while
// a figure is drawn can neither be lost nor end the process with the script left behind.
class held_signals {
public:
    held_signals() {
        sigemptyset(&set_);
        for_each_ending_signal([this](int s) {
            struct sigaction current {};
            if (::sigaction(s, nullptr, &current) == 0 && !ignored(current)) sigaddset(&set_, s);
        });
        // An ignored SIGCHLD would reap the supervisor before waitpid sees its status.
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

// Every signal but those of faults: held by the supervisor of a figure command, and around the
// fork that starts it, so that no handler of this process ever runs in it.
sigset_t all_but_fault_signals() {
    sigset_t set;
    sigfillset(&set);
    for (const int s : fault_signals) sigdelset(&set, s);
    return set;
}

// The shell's start as the supervisor makes it, prepared before the fork: /bin/sh -c command
// with standard input /dev/null and the signal mask that this process had before the figure.
class shell_start {
public:
    shell_start(const std::string& command, const sigset_t& mask) : text_(command) {
        attr_made_ = posix_spawnattr_init(&attr_) == 0;
        actions_made_ = posix_spawn_file_actions_init(&actions_) == 0;
        ready_ = attr_made_ && actions_made_ && posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK) == 0 &&
                 posix_spawnattr_setsigmask(&attr_, &mask) == 0 &&
                 posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
    }
    ~shell_start() {
        if (actions_made_) posix_spawn_file_actions_destroy(&actions_);
        if (attr_made_) posix_spawnattr_destroy(&attr_);
    }
    shell_start(const shell_start&) = delete;
    shell_start& operator=(const shell_start&) = delete;

    bool ready() const { return ready_; }

    // Starts the shell; 0 with its process id in `pid`, or the error number.
    int spawn(pid_t& pid) {
        char* const argv[] = {sh_.data(), c_.data(), text_.data(), nullptr};
        return posix_spawn(&pid, "/bin/sh", &actions_, &attr_, argv, environ);
    }

private:
    std::string sh_ = "sh", c_ = "-c", text_;
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
    bool attr_made_ = false, actions_made_ = false, ready_ = false;
};

// Ends the supervisor as the shell ended: with its exit status, or by the same signal, without
// a core file of its own whatever the core limit and pattern.
[[noreturn]] void end_as(int status) {
    if (!WIFSIGNALED(status)) ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 0);
    const int s = WTERMSIG(status);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(s, &dfl, nullptr);
    ::kill(::getpid(), s);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, s);
    ::sigprocmask(SIG_UNBLOCK, &one, nullptr);
    ::_exit(128 + s);  // not reached
}

// The supervisor of a figure command, in the child of the fork; every signal but those of faults
// is held. It leads a new session, so a process group of its own without a controlling
// terminal, in which it starts the shell: a stop of that group reaches the shell and all that it
// started, while the supervisor holds the signal, waits for the shell and ends as it ended. Should
// `parent` die first, even by SIGKILL, the parent-death signal wakes it and it kills the group,
// itself with it: a figure command never outlives its run. A shell that cannot be started has
// its error number written to `report` (closed on exec, so that the parent reads end-of-file
// once the shell runs).
[[noreturn]] void supervise(pid_t parent, int report, shell_start& shell) {
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM, 0, 0, 0);  // held like the others: it only ends the wait
    if (::getppid() != parent) ::_exit(127);  // the parent is gone already
    pid_t pid = -1;
    if (const int error = shell.spawn(pid); error != 0) {
        const ssize_t written = ::write(report, &error, sizeof error);
        static_cast<void>(written);
        ::_exit(127);
    }
    ::close(report);
    const sigset_t held = all_but_fault_signals();
    int status = 0;
    for (;;) {
        if (::getppid() != parent) {
            ::kill(0, SIGKILL);
            ::_exit(128 + SIGKILL);  // not reached
        }
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) end_as(status);
        if (r < 0 && errno != EINTR) ::_exit(0);  // no such child: its status is unknown
        // SIGCHLD and the parent-death signal end the wait; the tick is a safeguard.
        const timespec tick{1, 0};
        ::sigtimedwait(&held, nullptr, &tick);
    }
}

// Starts "/bin/sh -c command" under a supervisor (see supervise) and returns the supervisor's
// process id, which is also the id of the command's process group; -1 when the shell cannot be
// started. `mask` is the signal mask that the command gets.
pid_t start_command(const std::string& command, const sigset_t& mask) {
    shell_start shell(command, mask);
    int report[2];
    if (!shell.ready() || ::pipe2(report, O_CLOEXEC) != 0) return -1;
    const pid_t parent = ::getpid();
    const sigset_t all = all_but_fault_signals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &all, &before);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        supervise(parent, report[1], shell);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(report[1]);
    bool failed = pid < 0;
    if (!failed) {
        int error = 0;
        ssize_t n = 0;
        do {
            n = ::read(report[0], &error, sizeof error);
        } while (n < 0 && errno == EINTR);
        failed = n == static_cast<ssize_t>(sizeof error);
        if (failed) ::waitpid(pid, nullptr, 0);
    }
    ::close(report[0]);
    return failed ? -1 : pid;
}

// The signal that a figure command gets when `signal` ends the run: SIGINT, SIGTERM and SIGHUP
// as they are, SIGTERM for the others (SIGQUIT or SIGXCPU would leave core files, Python ignores
// SIGPIPE, and the rest mean nothing to it).
int command_signal(int signal) { return signal == SIGINT || signal == SIGTERM || signal == SIGHUP ? signal : SIGTERM; }

// Ends the command's process group, led by the supervisor `pid`: command_signal(signal) first,
// SIGKILL after a grace of two seconds, and SIGKILL for whatever of the group outlives the shell.
void stop_group(pid_t pid, int signal) {
    ::kill(-pid, command_signal(signal));
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

// Waits for the supervisor; returns 0 with its wait status, which is the shell's, in `status`,
// or the held ending signal that arrived first, after the command's process group has been
// stopped.
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
    const pid_t pid = start_command(python + " " + name, held.original_mask());
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

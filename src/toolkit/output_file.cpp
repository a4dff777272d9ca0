#include "output_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace quorl {

namespace {

namespace fs = std::filesystem;

// The signals that end the process after removing the temporary files: those sent from outside
// whose default action ends the process, and the real-time signals SIGRTMIN..SIGRTMAX (not the
// ones below, which the C library keeps for itself). The signals of the program's own faults
// keep the system's and the sanitizers' handling. The figure package (pyplot/) holds the same
// signals while a figure is drawn.
constexpr int ending_signals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};

template <class Action>
void for_each_ending_signal(Action action) {
    for (const int s : ending_signals) action(s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) action(s);
}

// Temporary files to remove when one of those signals ends the process: fixed storage, so that
// the handler needs no allocation and no lock.
constexpr int max_registered = 4;
constexpr std::size_t max_path = 4096;
char registered_path[max_registered][max_path];
volatile std::sig_atomic_t registered[max_registered];
bool handlers_installed = false;

extern "C" void remove_temporaries_and_reraise(int signal) {
    for (int k = 0; k < max_registered; ++k)
        if (registered[k] != 0) ::unlink(registered_path[k]);
    // Ends the process as the signal would have without this handler.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(signal, &dfl, nullptr);
    ::raise(signal);
}

// Caught rather than left to end the process: the write that passed the limit fails with EFBIG
// and its writer reports it. A caught signal returns to its default action in a program that
// this process starts.
extern "C" void ignore_file_size_limit(int) {}

sigset_t ending_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for_each_ending_signal([&set](int s) { sigaddset(&set, s); });
    return set;
}

bool has_default_action(int signal) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0) return false;
    return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
}

void install(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = ending_signal_set();
    action.sa_flags = flags;
    ::sigaction(signal, &action, nullptr);
}

// The ending signals held back for the lifetime of the object, so that creating, renaming or
// removing a temporary file and updating its entry happen as one step.
class signals_held {
public:
    signals_held() {
        const sigset_t set = ending_signal_set();
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~signals_held() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;

private:
    sigset_t old_{};
};

int register_path(const std::string& path) {
    if (path.size() >= max_path) return -1;
    install_signal_handlers();
    for (int k = 0; k < max_registered; ++k) {
        if (registered[k] != 0) continue;
        std::memcpy(registered_path[k], path.c_str(), path.size() + 1);
        registered[k] = 1;
        return k;
    }
    return -1;
}

void unregister_path(int slot) {
    if (slot >= 0) registered[slot] = 0;
}

// The name with every symbolic link at its end followed (a dangling link gives the name it
// points to).
fs::path resolve_links(fs::path p) {
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

// Creates a new temporary file next to `target`; returns its descriptor (-1 on failure, errno
// set) and its name in `name`.
int create_temporary(const fs::path& target, std::string& name) {
    const fs::path dir = target.parent_path();
    std::string stem = ".";
    stem.append(target.filename().string()).append(".").append(std::to_string(::getpid()));
    for (int k = 0; k < 100; ++k) {
        std::string base = stem + "-" + std::to_string(k) + ".tmp";
        name = (dir / base).string();
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == ENAMETOOLONG) {
            // A target name near the length limit: a short name in the same directory.
            base = ".quorl." + std::to_string(::getpid()) + "-" + std::to_string(k) + ".tmp";
            name = (dir / base).string();
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        }
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The descriptor that an absolute name, free of "." and "..", spells as one of this process's
// streams; -1 when it spells none.
int descriptor_spelled(const std::string& n) {
    if (n == "/dev/stdin") return 0;
    if (n == "/dev/stdout") return 1;
    if (n == "/dev/stderr") return 2;
    const std::string own = "/proc/" + std::to_string(::getpid());
    const std::string thread = own + "/task/" + std::to_string(::gettid());
    for (const std::string& folder : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"), own + "/fd/", thread + "/fd/"}) {
        if (!n.starts_with(folder)) continue;
        const std::string number = n.substr(folder.size());
        // Decimal as the system spells descriptors: no sign, no leading zero.
        if (number.empty() || number.size() > 9 || (number[0] == '0' && number.size() > 1) ||
            number.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        return std::stoi(number);
    }
    return -1;
}

// The descriptor that a name spells as one of this process's streams, as written or with the
// symbolic links of its folders resolved (a link to /proc/self/fd, to /proc/self, ...); -1 when
// it spells none.
int descriptor_named(const fs::path& name) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(name, ec).lexically_normal();
    if (ec) return -1;
    if (const int fd = descriptor_spelled(absolute.string()); fd >= 0) return fd;
    if (absolute.filename().empty()) return -1;
    const fs::path folder = fs::canonical(absolute.parent_path(), ec);
    if (ec) return -1;
    return descriptor_spelled((folder / absolute.filename()).string());
}

// The descriptor of this process's open streams that `name` reaches, directly, through symbolic
// links to it, or through linked folders; -1 when it reaches none.
int stream_descriptor(const std::string& name) {
    fs::path p = name;
    for (int depth = 0; depth < 40; ++depth) {
        const int fd = descriptor_named(p);
        if (fd >= 0) return fd;
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return -1;
}

// Flushes a complete file to disk; true also where the file system has nothing to flush.
bool sync_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    return ::close(fd) == 0 && synced;
}

// Flushes the entry of a renamed file to disk, where the file system allows it.
void sync_directory(const fs::path& file) {
    const fs::path dir = file.parent_path();
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void install_signal_handlers() {
    if (handlers_installed) return;
    handlers_installed = true;
    for_each_ending_signal([](int s) {
        if (has_default_action(s)) install(s, remove_temporaries_and_reraise, 0);
    });
    if (has_default_action(SIGXFSZ)) install(SIGXFSZ, ignore_file_size_limit, SA_RESTART);
}

output_file::~output_file() { discard(); }

bool output_file::open(const std::string& target) {
    discard();
    if (target.empty() || target.find('\0') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    if (const int fd = stream_descriptor(target); fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
            errno = EBADF;
            return false;
        }
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        descriptor_ = fd;
        path_ = target;
        return true;
    }
    const fs::path real = resolve_links(target);
    struct stat st {};
    const bool exists = ::stat(real.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        path_ = target;  // a device or a pipe cannot be replaced; a directory fails in the writer
        return true;
    }
    if (exists) {
        // Writable as the writer would open it in place.
        const int fd = ::open(real.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return false;
        ::close(fd);
    }

    const signals_held held;
    std::string name;
    const int fd = create_temporary(real, name);
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM)) {
            path_ = target;  // a writable file in a directory closed to new files
            return true;
        }
        return false;
    }
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    ::close(fd);
    slot_ = register_path(name);
    target_ = real.string();
    path_ = name;
    return true;
}

bool output_file::write_to_stream(std::string_view bytes) const {
    while (!bytes.empty()) {
        const ssize_t n = ::write(descriptor_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool output_file::commit() {
    if (target_.empty()) return true;  // written in place
    // On disk before it takes the target's name: after a crash of the machine the target is
    // the previous file or the complete new one, never an empty one.
    const bool synced = sync_file(path_);
    const signals_held held;
    const bool renamed = synced && ::rename(path_.c_str(), target_.c_str()) == 0;
    if (!renamed) ::unlink(path_.c_str());
    unregister_path(slot_);
    slot_ = -1;
    if (renamed) sync_directory(target_);
    target_.clear();
    return renamed;
}

void output_file::discard() {
    if (!target_.empty()) {
        const signals_held held;
        ::unlink(path_.c_str());
        unregister_path(slot_);
    }
    slot_ = -1;
    descriptor_ = -1;
    target_.clear();
    path_.clear();
}

bool same_file(const std::string& a, const std::string& b) {
    // Two of this process's streams open on one file, pipe or terminal: what is written through
    // one lands among what is written through the other.
    if (const int fa = stream_descriptor(a), fb = stream_descriptor(b); fa >= 0 && fb >= 0) {
        struct stat sa {}, sb {};
        if (fa == fb) return ::fstat(fa, &sa) == 0;
        return ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    struct stat sa {}, sb {};
    const bool a_exists = ::stat(a.c_str(), &sa) == 0;
    const bool b_exists = ::stat(b.c_str(), &sb) == 0;
    if (a_exists || b_exists) {
        return a_exists && b_exists && S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode) && sa.st_dev == sb.st_dev &&
               sa.st_ino == sb.st_ino;
    }
    std::error_code ea, eb;
    const fs::path pa = fs::weakly_canonical(fs::absolute(resolve_links(a), ea), ea);
    const fs::path pb = fs::weakly_canonical(fs::absolute(resolve_links(b), eb), eb);
    return !ea && !eb && pa == pb;
}

}  // namespace quorl

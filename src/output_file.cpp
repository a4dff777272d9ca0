#include "output_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quorl {

namespace {

namespace fs = std::filesystem;

// Temporary files to remove when SIGINT or SIGTERM ends the process: fixed storage, so that
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

// Installs the handler for SIGINT and SIGTERM where they have their default action (an
// ignored signal stays ignored, another handler stays in place).
void install_handlers() {
    if (handlers_installed) return;
    handlers_installed = true;
    for (const int s : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (::sigaction(s, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction handler {};
        handler.sa_handler = remove_temporaries_and_reraise;
        sigemptyset(&handler.sa_mask);
        sigaddset(&handler.sa_mask, SIGINT);
        sigaddset(&handler.sa_mask, SIGTERM);
        ::sigaction(s, &handler, nullptr);
    }
}

// SIGINT and SIGTERM held back for the lifetime of the object, so that creating, renaming or
// removing a temporary file and updating its entry happen as one step.
class signals_held {
public:
    signals_held() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
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
    install_handlers();
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

}  // namespace

output_file::~output_file() { discard(); }

bool output_file::open(const std::string& target) {
    discard();
    if (target.empty() || target.find('\0') != std::string::npos) {
        errno = EINVAL;
        return false;
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

bool output_file::commit() {
    if (target_.empty()) return true;  // written in place
    const signals_held held;
    const bool renamed = ::rename(path_.c_str(), target_.c_str()) == 0;
    if (!renamed) ::unlink(path_.c_str());
    unregister_path(slot_);
    slot_ = -1;
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
    target_.clear();
    path_.clear();
}

bool same_file(const std::string& a, const std::string& b) {
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

#pragma once
// Output files that are replaced only by complete ones. Each is written to a new temporary file
// in the target's directory, flushed to disk, and renamed over the target once it is complete
// and closed; a failed write leaves the previous file as it was. A signal from outside whose
// default action ends the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
// SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR, SIGSTKFLT, the real-time signals
// SIGRTMIN..SIGRTMAX) while a temporary file exists removes it before the process ends by that
// signal; SIGKILL leaves it behind. A file-size limit makes a write fail instead of ending the
// process. The signals of the program's own faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT,
// SIGTRAP, SIGSYS) keep the system's and the sanitizers' handling.

#include <string>
#include <string_view>

namespace quorl {

// Installs, for those of the signals above that have their default action, the handlers that
// remove the temporary files, and makes SIGXFSZ a failed write (EFBIG). An ignored signal stays
// ignored, another handler stays in place. Called by main before anything is written; opening
// an output file calls it too.
void install_signal_handlers();

class output_file {
public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file();  // removes the temporary file unless it was committed

    // Prepares to write `target`: creates the temporary file (exclusively, with the mode of an
    // existing target). A name of one of this process's own open streams (/dev/stdin,
    // /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N,
    // /proc/<pid>/fd/N, /proc/<pid>/task/<tid>/fd/N, also through a symbolic link to it or
    // through linked folders) is written through that descriptor as it is open (at its
    // position, or at the end where it appends); the standard streams are flushed first, so that
    // what the program wrote before comes first. An existing target that is not a regular file (a device, a pipe), or one in
    // a directory where no file can be created, is written in place. A symbolic link is
    // followed, so the link stays and its file is replaced. False when the target cannot be
    // written: an empty name or one with a NUL character, a missing directory, a target that
    // cannot be opened for writing, a stream that is not open for writing.
    bool open(const std::string& target);

    // The open descriptor to write to when the target is one of the process's streams; -1 when
    // the writer opens path() instead.
    int descriptor() const { return descriptor_; }

    // Where the writer writes otherwise: the temporary file, or the target itself when written
    // in place.
    const std::string& path() const { return path_; }

    // Writes all of `bytes` to descriptor(); false on a failed write.
    bool write_to_stream(std::string_view bytes) const;

    // Flushes the complete temporary file to disk, renames it over the target and flushes the
    // directory. False when the file cannot be flushed or renamed; the temporary file is then
    // removed.
    bool commit();

private:
    void discard();

    std::string target_;  // the file that is replaced, symbolic links resolved
    std::string path_;
    int descriptor_ = -1;
    int slot_ = -1;  // the temporary file's entry in the list of files to remove on a signal; -1: none
};

// Whether writing one name would write the file that the other one names: two names of this
// process's streams open on one file, pipe or terminal; the same existing regular file, whatever
// path, symbolic link or hard link reaches it; or, when neither exists, the same place. Other
// files of other kinds (devices, pipes) are never the same.
bool same_file(const std::string& a, const std::string& b);

}  // namespace quorl

#pragma once
// Output files that are replaced only by complete ones. Each is written to a new temporary file
// in the target's directory and renamed over the target once it is complete and closed; a
// failed write leaves the previous file as it was. SIGINT or SIGTERM while a temporary file
// exists removes it before the process ends by that signal.

#include <string>

namespace quorl {

class output_file {
public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file();  // removes the temporary file unless it was committed

    // Prepares to write `target`: creates the temporary file (exclusively, with the mode of an
    // existing target). An existing target that is not a regular file (a device, a pipe), or
    // one in a directory where no file can be created, is written in place. A symbolic link is
    // followed, so the link stays and its file is replaced. False when the target cannot be
    // written: an empty name or one with a NUL character, a missing directory, a target that
    // cannot be opened for writing.
    bool open(const std::string& target);

    // Where the writer writes: the temporary file, or the target itself when written in place.
    const std::string& path() const { return path_; }

    // Renames the complete temporary file over the target. False when that fails; the
    // temporary file is then removed.
    bool commit();

private:
    void discard();

    std::string target_;  // the file that is replaced, symbolic links resolved
    std::string path_;
    int slot_ = -1;  // the temporary file's entry in the list of files to remove on a signal; -1: none
};

// Whether writing one name would write the file that the other one names: the same existing
// regular file, whatever path, symbolic link or hard link reaches it, or, when neither exists,
// the same place. Files of other kinds (devices, pipes) are never the same.
bool same_file(const std::string& a, const std::string& b);

}  // namespace quorl

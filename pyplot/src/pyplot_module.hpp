#pragma once
// Figures as matplotlib scripts, run by an external Python interpreter.
//
// A figure is built up in memory (initialize, add_plot...), then savefig writes it as a script
// to a temporary file of this process in the working directory, runs the interpreter on it,
// waits, and deletes the script. The script uses the Agg backend, so no display is needed.

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pyplot_module {

// The temporary script is named this prefix, the process id and ".py" (a counter is added to
// the id when a file of that name exists already); it is created new, never over another file.
inline constexpr const char* temp_script_prefix = "pyplot_module_temp_";

// A figure that could not be drawn at all: the script could not be written, the shell could
// not be started, the Python command could not be run by the shell, or the wait for it was
// interrupted by a signal whose handler returned.
class pyplot_error : public std::runtime_error {
public:
    explicit pyplot_error(const std::string& message) : std::runtime_error(message) {}
};

class pyplot {
public:
    // Starts a new figure (any lines added before are dropped).
    void initialize(bool grid, std::string_view xlabel, std::string_view ylabel, std::string_view title,
                    bool legend, bool axis_equal);

    // Adds one line through the points (x[i], y[i]); `linestyle` is a matplotlib format string
    // such as "-k". x and y are expected to have equal lengths (matplotlib rejects them otherwise).
    void add_plot(std::span<const double> x, std::span<const double> y, std::string_view label,
                  std::string_view linestyle, int linewidth);

    // Writes the script, flushes this process's output, runs "<python_command> <script>" with
    // /bin/sh -c, waits, and deletes the script. The shell runs under a small supervising child
    // process that leads a session of its own (no controlling terminal, standard input
    // /dev/null, so the terminal can never stop the command) and ends as the shell ended; the
    // command gets the signal mask that this process had before the call. Returns the command's
    // exit status (128 + the signal number when a signal ended the shell): 0 when it succeeded.
    // A command that the shell cannot find or run (126, 127), a shell that cannot be started, or
    // a script that cannot be written throws pyplot_error. A signal from outside whose default
    // action ends the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
    // SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR, SIGSTKFLT, SIGRTMIN..SIGRTMAX) during
    // the wait stops the command's process group (SIGINT, SIGTERM and SIGHUP as they are, SIGTERM
    // for the others; SIGKILL after two seconds), deletes the script and is raised again, so the
    // process ends as that signal makes it end; an ignored one stays ignored. Should this process
    // be killed (SIGKILL), the supervisor kills the command's process group, so the command never
    // outlives it (the script then stays). `dpi_text` is the resolution as decimal text.
    int savefig(std::string_view figure_file, std::string_view dpi_text, std::string_view python_command) const;

    // Releases the figure.
    void destroy();

private:
    std::string script(std::string_view figure_file, std::string_view dpi_text) const;

    bool grid_ = false;
    bool legend_ = false;
    bool axis_equal_ = false;
    std::string xlabel_;
    std::string ylabel_;
    std::string title_;
    std::string lines_;  // the script lines of the added plots
};

// A Python string literal that reads back as exactly `text` (UTF-8; invalid bytes become the
// surrogate escapes that Python uses for undecodable file-name bytes). Pure ASCII.
std::string python_string(std::string_view text);

// A Python float literal that reads back as exactly `value`, including -0.0, NaN and infinities:
// the shortest such digits, as Python's repr gives them.
std::string python_float(double value);

}  // namespace pyplot_module

// Failures that must not pass as success, through the real binary: output files that survive a
// failed run, figures that fail or are interrupted, and the messages of runs that cannot
// produce a solution.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "machine_fixtures.hpp"
#include "output_file.hpp"
#include "system_memory.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::toml_lines;
using quorl::test::write_file;

const char* const figure_names[] = {"machine", "mesh", "pressure_by_r", "Ct_by_r", "Cm_by_r"};

// A one-row compressor of 4 streamlines with the given boundary conditions and outputs.
std::string job_text(const std::string& outputs, const toml_lines& boundary_conditions = {},
                     const toml_lines& machine = {}, const toml_lines& row = {}) {
    return "[thermo]\nmodel = \"perfect_gas\"\n[thermo.perfect_gas]\nr = 287.0\ncp = 1004.5\n" +
           quorl::test::boundary_conditions_text(boundary_conditions) + "[solver]\nnumber_of_streamlines = 4\n" +
           quorl::test::machine_text(machine, {row}) + outputs;
}

// A Python command that draws nothing but creates the figure file its script names.
fs::path make_touching_python(const fs::path& dir) {
    const fs::path path = dir / "touch_python";
    write_file(path, "#!/bin/sh\nsleep 0.05\nf=$(sed -n \"s/^plt.savefig('\\(.*\\)', dpi.*/\\1/p\" \"$1\")\n"
                     "[ -n \"$f\" ] && touch \"$f\"\n");
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    return path;
}

// A run of the binary started in the background, its standard output and error in files
// beside `dir` (so that they are not among its files).
struct started_run {
    pid_t pid = -1;
    fs::path out, err;
};

struct limits {
    rlim_t file_size = RLIM_INFINITY;      // RLIMIT_FSIZE
    rlim_t address_space = RLIM_INFINITY;  // RLIMIT_AS
    bool file_size_signal = false;         // SIGXFSZ left at its default action, as a shell's ulimit
                                           // leaves it (otherwise ignored)
};

started_run start_quorl(const std::vector<std::string>& args, const fs::path& dir, limits lim = {}) {
    static int runs = 0;
    started_run run;
    const std::string stem = dir.string() + "." + std::to_string(++runs);
    run.out = stem + ".stdout";
    run.err = stem + ".stderr";
    std::vector<std::string> words{QUORL_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string dir_text = dir.string(), out_text = run.out.string(), err_text = run.err.string();
    run.pid = fork();
    if (run.pid == 0) {
        const int out = open(out_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(dir_text.c_str()) != 0) _exit(99);
        dup2(out, 1);
        dup2(err, 2);
        signal(SIGXFSZ, lim.file_size_signal ? SIG_DFL : SIG_IGN);
        // No core file among the run's files when SIGQUIT ends it.
        const rlimit fsize{lim.file_size, lim.file_size}, as{lim.address_space, lim.address_space}, core{0, 0};
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_AS, &as);
        setrlimit(RLIMIT_CORE, &core);
        execv(argv[0], argv.data());
        _exit(98);
    }
    return run;
}

struct ended_run {
    int status = -1;  // exit status, or -1 when a signal ended the run
    int signal = 0;   // the signal that ended it
    std::string out, err;
    pid_t pid = -1;
};

// Waits for the run (killing it after `timeout_seconds`) and collects what it printed.
ended_run finish(const started_run& run, int timeout_seconds = 60) {
    ended_run r;
    r.pid = run.pid;
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    while (waitpid(run.pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the run did not end within " << timeout_seconds << " s";
            kill(run.pid, SIGKILL);
            waitpid(run.pid, &raw, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) r.signal = WTERMSIG(raw);
    r.out = read_file(run.out);
    r.err = read_file(run.err);
    fs::remove(run.out);
    fs::remove(run.err);
    return r;
}

ended_run run_quorl(const fs::path& dir, limits lim = {}, const std::string& job = "job.toml") {
    return finish(start_quorl({"-i", job}, dir, lim));
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Waits up to `seconds` for `condition`.
template <class Condition>
bool eventually(Condition condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Whether a process runs (a zombie does not).
bool running(pid_t pid) {
    if (kill(pid, 0) != 0) return false;
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close + 2, 1, "Z") != 0;
}

// `text` with "<pid>" replaced by the process id.
std::string with_pid(std::string text, pid_t pid) {
    if (const auto at = text.find("<pid>"); at != std::string::npos) text.replace(at, 5, std::to_string(pid));
    return text;
}

TEST(Failures, OutputFilesAreReplacedOnlyByCompleteOnesAndNeverOverTheJob) {
    const std::string report = "[reports]\nfile = 'report.txt'\n";
    const std::string results = "[results]\nfile = 'results.mat'\n";
    constexpr rlim_t unlimited = RLIM_INFINITY;
    // The report of this job takes about 7 kB, the results file 3 kB, a figure's script 16 kB.
    const struct {
        const char* what;
        std::string outputs;
        limits lim;
        int status;
        std::string err;  // "<pid>" stands for the run's process id
        bool report_written, results_written;
        const char* job = "job.toml";
    } cases[] = {
        {"a finished run", report + results, {}, 0, "", true, true},
        {"a report that fails midway", report + results, {2000}, 2,
         "ERROR STOP Cannot write report file 'report.txt'\nERROR STOP matfile: cannot write file 'results.mat'\n",
         false, false},
        {"results that fail midway", results, {2000}, 2, "ERROR STOP matfile: cannot write file 'results.mat'\n",
         false, false},
        {"a file-size limit during the report", report + results, {4000, unlimited, true}, 2,
         "ERROR STOP Cannot write report file 'report.txt'\n", false, true},
        {"a file-size limit during a figure's script", "[plots]\npython = 'true'\n" + results, {8000, unlimited, true}, 2,
         "ERROR STOP pyplot: cannot write the temporary script 'pyplot_module_temp_<pid>.py'\n", false, true},
        {"the job file as the report", "[reports]\nfile = 'job.toml'\n" + results, {}, 2,
         "ERROR STOP Error: reports.file names the job file 'job.toml' as an output\n", false, false},
        {"the job file by another path", report + "[results]\nfile = './sub/../job.toml  '\n", {}, 2,
         "ERROR STOP Error: results.file names the job file './sub/../job.toml' as an output\n", false, false},
        {"the job file by a symbolic link", report + "[results]\nfile = 'link.mat'\n", {}, 2,
         "ERROR STOP Error: results.file names the job file 'link.mat' as an output\n", false, false},
        {"the job file by a hard link", "[reports]\nfile = 'hard.txt'\n", {}, 2,
         "ERROR STOP Error: reports.file names the job file 'hard.txt' as an output\n", false, false},
        {"the job file as a figure", "[plots]\npython = 'true'\nformat = 'toml'\n", {}, 2,
         "ERROR STOP Error: plots.format names the job file 'mesh.toml' as an output\n", false, false, "mesh.toml"},
        {"one file for report and results", "[reports]\nfile = 'out'\n[results]\nfile = './out'\n", {}, 2,
         "ERROR STOP Error: results.file './out' is the same file as reports.file 'out'\n", false, false},
        {"a figure as the report", "[reports]\nfile = 'mesh.png'\n[plots]\npython = 'true'\n" + results,
         {}, 2, "ERROR STOP Error: reports.file 'mesh.png' is the same file as the figure 'mesh.png'\n",
         false, false},
        {"a figure as the results file", report + "[plots]\nformat = 'mat'\n[results]\nfile = './sub/../Cm_by_r.mat'\n",
         {}, 2,
         "ERROR STOP Error: results.file './sub/../Cm_by_r.mat' is the same file as the figure 'Cm_by_r.mat'\n", false,
         false},
        {"a NUL character in a name", "[reports]\nfile = \"report.txt\\u0000x\"\n" + results, {}, 2,
         std::string("ERROR STOP Error: reports.file 'report.txt\\0x' holds a NUL character\n"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fresh_dir("failure_outputs");
        const std::string job = job_text(c.outputs);
        write_file(dir / c.job, job);
        write_file(dir / "report.txt", "previous report");
        write_file(dir / "results.mat", "previous results");
        fs::create_directory(dir / "sub");
        fs::create_symlink(c.job, dir / "link.mat");
        fs::create_hard_link(dir / c.job, dir / "hard.txt");
        const std::set<std::string> before = files_in(dir);

        const ended_run r = run_quorl(dir, c.lim, c.job);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(r.err, with_pid(c.err, r.pid));
        // Nothing left beside the files (no temporary file, no script), the job as it was.
        EXPECT_EQ(files_in(dir), before);
        EXPECT_EQ(read_file(dir / c.job), job);
        // Each output complete, or the previous file intact; a refused output is refused before
        // any of them.
        if (c.report_written) EXPECT_TRUE(read_file(dir / "report.txt").ends_with("-\n\n\n"));
        else EXPECT_EQ(read_file(dir / "report.txt"), "previous report");
        if (c.results_written) EXPECT_EQ(fs::file_size(dir / "results.mat"), 128u + 15u * (64u + 8u * 4u * 4u));
        else EXPECT_EQ(read_file(dir / "results.mat"), "previous results");
        if (c.status == 2 && c.lim.file_size == unlimited) {
            EXPECT_EQ(r.out, " Loading config file " + std::string(c.job) + " ...\n Solving ...\n");
        }
    }
}

// `text` with the date and time of every report heading and the header of a MAT-file shown
// as "<date>" and "<header>".
std::string without_moments(std::string text) {
    const std::string heading = ", generated on ";
    for (auto at = text.find(heading); at != std::string::npos; at = text.find(heading, at + 1))
        text.replace(at + heading.size(), 22, "<date>");  // CCYYMMDD at hhmmss.sss
    if (const auto at = text.find("MATLAB 5.0 MAT-file"); at != std::string::npos) text.replace(at, 128, "<header>");
    return text;
}

TEST(Failures, StreamNamesAreWrittenThroughTheStreamAsItIsOpen) {
    const std::string earlier = "earlier lines of the log\n";
    const std::string loading = " Loading config file job.toml ...\n Solving ...\n";
    const std::string no_reports = " WARNING: didn't found [reports] section!\n";
    const std::string no_plots = " Cannot read [plot] section, no plots will will be created\n";
    const std::string no_results = " WARNING: didn't found [results] section!\n";
    const std::string finished = " Quorl finished successfully\n";

    // The same outputs written to files of their own.
    const fs::path reference = fresh_dir("failure_streams_reference");
    write_file(reference / "job.toml", job_text("[reports]\nfile = 'report.txt'\n[results]\nfile = 'results.mat'\n"));
    ASSERT_EQ(run_quorl(reference).status, 0);
    const std::string report = without_moments(read_file(reference / "report.txt"));
    const std::string results = "<header>" + read_file(reference / "results.mat").substr(128);

    const auto report_to = [](const std::string& name) { return "[reports]\nfile = '" + name + "'\n"; };
    const std::string both_to_stdout = "[results]\nfile = '/dev/stdout'\n";
    const std::string one_stream =
        "ERROR STOP Error: results.file '/dev/stdout' is the same file as reports.file '/dev/stdout'\n";
    const struct {
        const char* what;
        std::string outputs;
        std::string redirections;  // of the run, inside the pipe when there is one
        std::string pipe;          // what follows the run in the shell's pipeline
        int status;
        std::string log;  // what the file "log", holding `earlier` before the run, holds after it
    } cases[] = {
        {"/dev/stdout, a log opened for appending", report_to("/dev/stdout"), ">> log 2>&1", "", 0,
         earlier + loading + report + no_plots + no_results + finished},
        {"/dev/stdout, a pipe", report_to("/dev/stdout"), "2>&1", " | cat >> log", 0,
         earlier + loading + report + no_plots + no_results + finished},
        {"/proc/self/fd/1, a log that the shell emptied", report_to("/proc/self/fd/1"), "> log 2>&1", "", 0,
         loading + report + no_plots + no_results + finished},
        {"/dev/stderr", report_to("/dev/stderr"), "2>> log > /dev/null", "", 0, earlier + report},
        {"/dev/fd/3", report_to("/dev/fd/3"), "3>> log > /dev/null 2>&1", "", 0, earlier + report},
        {"a symbolic link to /dev/stdout", report_to("link.txt"), ">> log 2>&1", "", 0,
         earlier + loading + report + no_plots + no_results + finished},
        // The folder's own links resolved: /proc/self/fd, /proc/self and /proc/thread-self
        // (which leads to /proc/<pid>/task/<tid>/fd).
        {"a linked folder to /proc/self/fd", report_to("pfd/1"), ">> log 2>&1", "", 0,
         earlier + loading + report + no_plots + no_results + finished},
        {"a linked folder to /proc/self", report_to("self/fd/1"), ">> log 2>&1", "", 0,
         earlier + loading + report + no_plots + no_results + finished},
        {"a linked folder to /proc/thread-self", report_to("thread/fd/1"), ">> log 2>&1", "", 0,
         earlier + loading + report + no_plots + no_results + finished},
        {"the results file on /dev/stdout, a pipe", "[results]\nfile = '/dev/stdout'\n", "2>&1", " | cat >> log", 0,
         earlier + loading + no_reports + no_plots + results + finished},
        // Report and results in one stream would mix, whether it is a file or a pipe.
        {"report and results both on /dev/stdout, a log", report_to("/dev/stdout") + both_to_stdout, ">> log 2>&1",
         "", 2, earlier + loading + one_stream},
        {"report and results both on /dev/stdout, a pipe", report_to("/dev/stdout") + both_to_stdout, "2>&1",
         " | cat >> log", 2, earlier + loading + one_stream},
        {"report on /dev/stdout and results on /dev/stderr, one pipe", report_to("/dev/stdout") +
         "[results]\nfile = '/dev/stderr'\n", "2>&1", " | cat >> log", 2, earlier + loading +
         "ERROR STOP Error: results.file '/dev/stderr' is the same file as reports.file '/dev/stdout'\n"},
        {"a descriptor that is not open", report_to("/dev/fd/9"), ">> log 2>&1", "", 2,
         earlier + loading + no_plots + no_results + "ERROR STOP Cannot create report file '/dev/fd/9'\n"},
        {"standard input, open for reading only", report_to("/dev/stdin"), ">> log 2>&1 < /dev/null", "", 2,
         earlier + loading + no_plots + no_results + "ERROR STOP Cannot create report file '/dev/stdin'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fresh_dir("failure_streams");
        write_file(dir / "job.toml", job_text(c.outputs));
        write_file(dir / "log", earlier);
        fs::create_symlink("/dev/stdout", dir / "link.txt");
        fs::create_directory_symlink("/proc/self/fd", dir / "pfd");
        fs::create_directory_symlink("/proc/self", dir / "self");
        fs::create_directory_symlink("/proc/thread-self", dir / "thread");
        const std::string command = "cd '" + dir.string() + "' && { '" + QUORL_BINARY + "' -i job.toml " +
                                    c.redirections + "; echo $? > status; }" + c.pipe;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(read_file(dir / "status"), std::to_string(c.status) + "\n");
        EXPECT_EQ(without_moments(read_file(dir / "log")), c.log);
        // Nothing replaced, nothing left beside it.
        EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
        EXPECT_EQ(files_in(dir), (std::set<std::string>{"job.toml", "link.txt", "log", "pfd", "self", "status", "thread"}));
    }
}

// Standard output that cannot take the console lines is a failed output: the others are still
// written, and standard error says why.
TEST(Failures, StandardOutputThatFailsEndsTheRunWithStatusTwo) {
    const std::string outputs = "[reports]\nscreen = true\nfile = 'report.txt'\n[results]\nfile = 'results.mat'\n";
    const fs::path reference = fresh_dir("failure_stdout_reference");
    write_file(reference / "job.toml", job_text(outputs));
    ASSERT_EQ(run_quorl(reference).status, 0);
    const std::string report = without_moments(read_file(reference / "report.txt"));
    const std::string results = read_file(reference / "results.mat").substr(128);

    struct stdout_case {
        const char* what;
        std::string redirections;
        std::string err;
    };
    std::vector<stdout_case> cases{
        {"closed", ">&-", "ERROR STOP Cannot write standard output: Bad file descriptor\n"},
    };
    if (fs::exists("/dev/full"))
        cases.push_back({"a full device", "> /dev/full", "ERROR STOP Cannot write standard output: No space left on device\n"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fresh_dir("failure_stdout");
        write_file(dir / "job.toml", job_text(outputs));
        const std::string command = "cd '" + dir.string() + "' && { '" + QUORL_BINARY + "' -i job.toml " +
                                    c.redirections + " 2> err; echo $? > status; }";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(read_file(dir / "status"), "2\n");
        EXPECT_EQ(read_file(dir / "err"), c.err);
        // Complete, and free of console lines (no file took the closed descriptor's place).
        EXPECT_EQ(without_moments(read_file(dir / "report.txt")), report);
        EXPECT_EQ(read_file(dir / "results.mat").substr(128), results);
    }
}

// The signals that end a run, each after removing its temporary files: every one sent from
// outside whose default action ends the process, the real-time ones as the first, second and last.
const int ending_signals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2,
                              SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT,
                              SIGRTMIN, SIGRTMIN + 1, SIGRTMAX};

TEST(Failures, SignalRemovesTheTemporaryFileOfAnOutput) {
    for (const int signal : ending_signals) {
        SCOPED_TRACE(signal);
        const fs::path dir = fresh_dir("failure_output_signal");
        write_file(dir / "report.txt", "previous report");
        const pid_t pid = fork();
        if (pid == 0) {
            const rlimit core{0, 0};
            setrlimit(RLIMIT_CORE, &core);
            quorl::output_file file;
            if (!file.open((dir / "report.txt").string()) || file.path() == (dir / "report.txt").string()) _exit(1);
            write_file(file.path(), "half a rep");
            raise(signal);
            _exit(2);
        }
        int raw = 0;
        waitpid(pid, &raw, 0);
        ASSERT_TRUE(WIFSIGNALED(raw)) << "status " << raw;
        EXPECT_EQ(WTERMSIG(raw), signal);
        EXPECT_EQ(files_in(dir), std::set<std::string>{"report.txt"});
        EXPECT_EQ(read_file(dir / "report.txt"), "previous report");
    }
}

TEST(Failures, FiguresOfConcurrentRunsAndSignalsDuringAFigure) {
    // Two runs at once in one folder keep all their figures (each draws with its own format).
    {
        const fs::path dir = fresh_dir("failure_figures_concurrent");
        const fs::path python = make_touching_python(dir);
        for (const char* format : {"a", "b"})
            write_file(dir / (std::string(format) + ".toml"),
                       job_text("[plots]\npython = '" + python.string() + "'\nformat = '" + format + "'\n"));
        const started_run a = start_quorl({"-i", "a.toml"}, dir);
        const started_run b = start_quorl({"-i", "b.toml"}, dir);
        for (const ended_run& r : {finish(a), finish(b)}) {
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_EQ(r.err, "");
        }
        std::set<std::string> expected{"a.toml", "b.toml", "touch_python"};
        for (const char* name : figure_names)
            for (const char* format : {".a", ".b"}) expected.insert(name + std::string(format));
        EXPECT_EQ(files_in(dir), expected);
    }

    // An ending signal while the interpreter runs (SIGHUP: the terminal closed): the run ends at
    // once by that signal, the interpreter is stopped, no script is left and no success line
    // nor results file follows. SIGKILL leaves the script, but the command ends all the same.
    // The command writes the pids of its shell and of a child of the shell (which a parent-death
    // signal of the shell alone would not reach), and draws a late figure if it is left to run.
    std::vector<int> signals(std::begin(ending_signals), std::end(ending_signals));
    signals.push_back(SIGKILL);
    for (const int signal : signals) {
        SCOPED_TRACE(signal);
        const fs::path dir = fresh_dir("failure_figures_signal");
        write_file(dir / "job.toml", job_text("[plots]\npython = \"echo $$ > shell; "
                                              "sh -c 'echo $$ > sleeper; sleep 3; touch late.png'; \"\n"
                                              "[results]\nfile = 'results.mat'\n"));
        const started_run run = start_quorl({"-i", "job.toml"}, dir);
        ASSERT_TRUE(eventually([&] { return read_file(dir / "sleeper").ends_with("\n"); }, 30.0));
        const pid_t shell = std::stoi(read_file(dir / "shell"));
        const pid_t sleeper = std::stoi(read_file(dir / "sleeper"));
        const auto sent = std::chrono::steady_clock::now();
        kill(run.pid, signal);
        const ended_run r = finish(run, 10);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
        EXPECT_EQ(r.signal, signal) << r.out << r.err;
        EXPECT_EQ(r.out, " Loading config file job.toml ...\n Solving ...\n WARNING: didn't found [reports] section!\n");
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(eventually([&] { return !running(shell) && !running(sleeper); }, 5.0));
        std::set<std::string> expected{"job.toml", "shell", "sleeper"};
        if (signal == SIGKILL) expected.insert(with_pid("pyplot_module_temp_<pid>.py", run.pid));
        EXPECT_EQ(files_in(dir), expected);
    }

    // Signals ignored when the run starts (as under nohup) stay ignored, also during a figure:
    // each figure command sends them to the run, whose pid is in the script's name, and the run
    // goes on to its end.
    {
        const fs::path dir = fresh_dir("failure_figures_ignored");
        write_file(dir / "job.toml",
                   job_text("[plots]\npython = \"sh -c 'p=${1#pyplot_module_temp_}; p=${p%.py}; "
                            "kill -HUP $p; kill -USR1 $p; kill -XCPU $p' sh\"\n"));
        const std::string command = "cd '" + dir.string() + "' && timeout -s KILL 60 sh -c \"trap '' HUP USR1 XCPU; " +
                                    "exec '" + QUORL_BINARY + "' -i job.toml\" > log 2>&1; echo $? > status";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(read_file(dir / "status"), "0\n") << read_file(dir / "log");
        EXPECT_TRUE(read_file(dir / "log").ends_with(" Quorl finished successfully\n")) << read_file(dir / "log");
    }
}

// A pseudo-terminal set to `stty tostop`, as the controlling terminal of runs started on it.
class terminal {
public:
    terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 && ptsname_r(master_, name, sizeof name) == 0)
            slave_ = name;
    }
    ~terminal() {
        if (master_ >= 0) close(master_);
    }
    terminal(const terminal&) = delete;
    terminal& operator=(const terminal&) = delete;

    bool usable() const { return !slave_.empty(); }

    // Starts the binary in a session of its own whose controlling terminal this is, in the
    // foreground: standard input and error on the terminal, standard output in a file.
    started_run start(const std::vector<std::string>& args, const fs::path& dir) const {
        started_run run;
        run.out = dir.string() + ".stdout";
        std::vector<std::string> words{QUORL_BINARY};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        const std::string dir_text = dir.string(), out_text = run.out.string();
        run.pid = fork();
        if (run.pid == 0) {
            setsid();
            const int tty = open(slave_.c_str(), O_RDWR);
            const int out = open(out_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            termios mode{};
            if (tty < 0 || out < 0 || ioctl(tty, TIOCSCTTY, 0) != 0 || tcgetattr(tty, &mode) != 0) _exit(99);
            mode.c_lflag |= TOSTOP;
            if (tcsetattr(tty, TCSANOW, &mode) != 0 || chdir(dir_text.c_str()) != 0) _exit(99);
            dup2(tty, 0);
            dup2(out, 1);
            dup2(tty, 2);
            execv(argv[0], argv.data());
            _exit(98);
        }
        return run;
    }

    // Types on the terminal's keyboard.
    void type(std::string_view keys) const { EXPECT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }

    // What the runs have shown on the terminal so far.
    const std::string& shown() {
        pollfd p{master_, POLLIN, 0};
        char buffer[4096];
        while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            shown_.append(buffer, static_cast<std::size_t>(n));
        }
        return shown_;
    }

private:
    int master_ = -1;
    std::string slave_;
    std::string shown_;
};

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(Failures, FigureCommandNeverStopsOnTheTerminal) {
    terminal tty;
    if (!tty.usable()) GTEST_SKIP() << "no pseudo-terminal";

    // A command that reads the terminal reads end-of-file; one that writes to it (under tostop)
    // is not stopped either. A background job would be stopped by SIGTTIN or SIGTTOU for good.
    {
        const fs::path dir = fresh_dir("failure_terminal_read");
        write_file(dir / "job.toml", job_text("[plots]\npython = 'read line && exit 4; echo written >&2; exit 3 #'\n"));
        const ended_run r = finish(tty.start({"-i", "job.toml"}, dir), 30);
        EXPECT_EQ(r.status, 0);
        std::string warnings;
        for (const char* name : figure_names)
            warnings += std::string(" WARNING: drawing the figure ") + name +
                        ".png failed: the Python command exited with status 3\n";
        EXPECT_EQ(r.out, " Loading config file job.toml ...\n Solving ...\n WARNING: didn't found [reports] section!\n" +
                             warnings + " WARNING: didn't found [results] section!\n Quorl finished successfully\n");
        EXPECT_EQ(count_of(tty.shown(), "written"), 5u) << tty.shown();
    }

    // Ctrl-C on the terminal still ends the run at once, and the command with it.
    {
        const fs::path dir = fresh_dir("failure_terminal_interrupt");
        write_file(dir / "job.toml", job_text("[plots]\npython = \"sh -c 'echo $$ > sleeper; exec sleep 30'; \"\n"));
        const started_run run = tty.start({"-i", "job.toml"}, dir);
        ASSERT_TRUE(eventually([&] { return read_file(dir / "sleeper").ends_with("\n"); }, 30.0));
        const pid_t sleeper = std::stoi(read_file(dir / "sleeper"));
        tty.type("\x03");
        const ended_run r = finish(run, 10);
        EXPECT_EQ(r.signal, SIGINT);
        EXPECT_TRUE(eventually([&] { return !running(sleeper); }, 3.0));
        EXPECT_EQ(files_in(dir), (std::set<std::string>{"job.toml", "sleeper"}));
    }
}

TEST(Failures, RunsThatGiveNoSolutionOrCannotStartSayWhy) {
    const fs::path dir = fresh_dir("failure_messages");
    const std::string outputs = "[reports]\nfile = 'report.txt'\n[results]\nfile = 'results.mat'\n[plots]\npython = '" +
                                make_touching_python(dir).string() + "'\n";
    const std::string loading = " Loading config file job.toml ...\n Solving ...\n";
    const std::string not_finite = " WARNING: the solution is not finite at quasi-normal 3, streamline 1; the outputs show "
                                   "it as it is\n";
    const std::string not_positive = " WARNING: the meridional velocity is not positive at quasi-normal 4, streamline 1; "
                                     "the outputs show it as it is\n";
    const struct {
        const char* what;
        toml_lines boundary_conditions, machine, row;
        bool outputs_written;
        std::string out, err;
    } cases[] = {
        {"a solution that is not finite", toml_lines{{"mdot_in", "1.0"}}, {}, {}, true, loading + not_finite,
         not_finite + "ERROR STOP Error: the solution is not finite at quasi-normal 3, streamline 1\n"},
        {"reversed flow at the hub", toml_lines{{"mdot_in", "10.0"}, {"rpm", "10000"}}, {},
         toml_lines{{"outlet_angle", "[70.0, 0.0]"}}, true, loading + not_positive,
         not_positive + "ERROR STOP Error: the meridional velocity is not positive at quasi-normal 4, streamline 1\n"},
        {"a NaN inlet mass flow", toml_lines{{"mdot_in", "nan"}}, {}, {}, false, loading,
         "ERROR STOP Error: the inlet flow area of 0.09424777960769382 m2 and mdot_in = nan kg/s give no finite "
         "positive mass flux\n"},
        {"no inlet mass flow", toml_lines{{"mdot_in", "0"}}, {}, {}, false, loading,
         "ERROR STOP Error: the inlet flow area of 0.09424777960769382 m2 and mdot_in = 0 kg/s give no finite "
         "positive mass flux\n"},
        {"the hub on the shroud", {}, toml_lines{{"hub_outline", "[[0.0, 0.2], [0.3, 0.2]]"}}, {}, false, loading,
         "ERROR STOP Error: the inlet flow area of -nan m2 and mdot_in = 5 kg/s give no finite positive mass flux\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename() != "touch_python") fs::remove(entry.path());
        write_file(dir / "job.toml", job_text(outputs, c.boundary_conditions, c.machine, c.row));
        const ended_run r = run_quorl(dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        // The report, the five figures and the results file are there to show where it broke down.
        EXPECT_EQ(files_in(dir).size(), c.outputs_written ? 9u : 2u);
        if (c.outputs_written) {
            EXPECT_TRUE(read_file(dir / "report.txt").ends_with("-\n\n\n"));
            EXPECT_EQ(fs::file_size(dir / "results.mat"), 128u + 15u * (64u + 8u * 4u * 4u));
            for (const char* name : figure_names) EXPECT_TRUE(fs::exists(dir / (name + std::string(".png")))) << name;
        }
    }
}

// A point of the map of the Lieblein example at which the start-up sweeps leave the rotor's
// trailing edge without meridional velocity, so that the state turns NaN in the main sweeps: it
// ends as any solution that is not finite, with its outputs, rather than in a bisection that
// never closes.
TEST(Failures, AStartUpThatCollapsedEndsAsASolutionThatIsNotFinite) {
    const fs::path dir = fresh_dir("failure_collapsed_start_up");
    toml::table job = quorl::test::parse_toml(read_file(quorl::test::source_path("examples/compressor_stage_lieblein.toml")));
    job.erase("plots");
    job.insert_or_assign("reports", toml::table{{"file", "report.txt"}});
    job.insert_or_assign("results", toml::table{{"file", "results.mat"}});
    toml::table& bc = *job.at_path("boundary_conditions").as_table();
    bc.insert_or_assign("rpm", 6750.0);
    bc.insert_or_assign("mdot_in", 15.5);
    std::ostringstream text;
    text << job << "\n";
    write_file(dir / "job.toml", text.str());
    const ended_run r = run_quorl(dir);
    const std::string warning =
        " WARNING: the solution is not finite at quasi-normal 3, streamline 1; the outputs show it as it is\n";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, " Loading config file job.toml ...\n Solving ...\n" + warning +
                         " Cannot read [plot] section, no plots will will be created\n");
    EXPECT_EQ(r.err, warning + "ERROR STOP Error: the solution is not finite at quasi-normal 3, streamline 1\n");
    EXPECT_TRUE(read_file(dir / "report.txt").ends_with("-\n\n\n"));
    // 15 matrices of 6 quasi-normals by 11 streamlines.
    EXPECT_EQ(fs::file_size(dir / "results.mat"), 128u + 15u * (64u + 8u * 6u * 11u));
}

TEST(Failures, LateFailuresStillWriteTheResultsFileAndAreAllReported) {
    const fs::path dir = fresh_dir("failure_late");
    const std::string python = "python = '" + make_touching_python(dir).string() + "'\n";
    const std::string loading = " Loading config file job.toml ...\n Solving ...\n";
    const std::string not_finite = " WARNING: the solution is not finite at quasi-normal 3, streamline 1; the outputs show "
                                   "it as it is\n";
    const std::string no_solution = "ERROR STOP Error: the solution is not finite at quasi-normal 3, streamline 1\n";
    const std::string no_reports = " WARNING: didn't found [reports] section!\n";
    const std::string missing_folder = "[reports]\nfile = 'missing/report.txt'\n";
    const std::string no_report = "ERROR STOP Cannot create report file 'missing/report.txt'\n";
    // `dpi` on line 3 of the job file.
    const std::string high_dpi = "[plots]\n" + python + "dpi = 'high'\n";
    const std::string dpi_diagnostic = " error: dpi must be positive integer\n --> job.toml:3:7\n  |\n3 | dpi = 'high'\n"
                                       "  |       ^^^^^^\n  |\n";
    const toml_lines unsolvable{{"mdot_in", "1.0"}};
    const struct {
        const char* what;
        std::string outputs;
        toml_lines boundary_conditions;
        int status;
        std::string out, err;
        bool figures;
    } cases[] = {
        {"a report file in a missing folder", missing_folder + "[plots]\n" + python, {}, 2, loading, no_report, true},
        {"a report setting of the wrong kind", "[reports]\nscreen = 1\n[plots]\n" + python, {}, 1, loading,
         "ERROR STOP reports.screen must be a boolean\n", true},
        {"a wrongly typed plot setting", high_dpi, {}, 1, loading + no_reports + dpi_diagnostic, "ERROR STOP 1\n",
         false},
        {"a Python command that cannot be run, and no solution", "[plots]\npython = 'exit 127 #'\n", unsolvable, 2,
         loading + not_finite + no_reports,
         not_finite + "ERROR STOP pyplot: cannot run the Python command 'exit 127 #'\n" + no_solution, false},
        {"all of them at once", high_dpi + missing_folder, unsolvable, 2, loading + not_finite + dpi_diagnostic,
         not_finite + no_report + "ERROR STOP 1\n" + no_solution, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename() != "touch_python") fs::remove(entry.path());
        write_file(dir / "job.toml", c.outputs + job_text("[results]\nfile = 'results.mat'\n", c.boundary_conditions));
        const ended_run r = run_quorl(dir);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        // The solution is kept whole; the figures follow their own settings.
        EXPECT_EQ(fs::file_size(dir / "results.mat"), 128u + 15u * (64u + 8u * 4u * 4u));
        for (const char* name : figure_names) EXPECT_EQ(fs::exists(dir / (name + std::string(".png"))), c.figures) << name;
        EXPECT_EQ(files_in(dir).size(), c.figures ? 8u : 3u);  // no temporary file or script
    }
}

TEST(Failures, JobFileTooLargeForMemoryEndsLikeOneThatCannotBeRead) {
    const fs::path dir = fresh_dir("failure_large_job");
    const double memory = quorl::physical_memory_bytes();
    struct sized_case {
        const char* what;
        double size;  // of the (sparse) job file
        limits lim;
    };
    std::vector<sized_case> cases{{"larger than the machine's memory", memory + 4096.0, {}}};
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer's runtime cannot start with a limited address space.
    cases.push_back({"larger than the address space left", 512e6, {RLIM_INFINITY, 256u << 20}});
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (memory == 0.0) GTEST_SKIP() << "physical memory unknown";
        write_file(dir / "job.toml", "");
        fs::resize_file(dir / "job.toml", static_cast<std::uintmax_t>(c.size));
        const ended_run r = run_quorl(dir, c.lim);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, " Loading config file job.toml ...\nCould not read file 'job.toml': it does not fit in memory\n");
        EXPECT_EQ(r.err, "ERROR STOP 1\n");
    }
    fs::remove(dir / "job.toml");
}

TEST(Failures, ProgressLinesReachTheLogAtOnce) {
    // A job file that is a pipe nobody writes to: the run waits in loading, and the loading
    // line is in the log already.
    const fs::path dir = fresh_dir("failure_progress");
    ASSERT_EQ(mkfifo((dir / "job.toml").c_str(), 0644), 0);
    const started_run run = start_quorl({"-i", "job.toml"}, dir);
    EXPECT_TRUE(eventually([&] { return read_file(run.out) == " Loading config file job.toml ...\n"; }, 10.0));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(finish(run, 10).signal, SIGTERM);
}

}  // namespace

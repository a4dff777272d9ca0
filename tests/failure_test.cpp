// Failures that must not pass as success, through the real binary: output files that survive a
// failed run, figures that fail or are interrupted, and the messages of runs that cannot
// produce a solution.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
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
    rlim_t file_size = RLIM_INFINITY;      // RLIMIT_FSIZE, with SIGXFSZ ignored
    rlim_t address_space = RLIM_INFINITY;  // RLIMIT_AS
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
        signal(SIGXFSZ, SIG_IGN);
        const rlimit fsize{lim.file_size, lim.file_size}, as{lim.address_space, lim.address_space};
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_AS, &as);
        execv(argv[0], argv.data());
        _exit(98);
    }
    return run;
}

struct ended_run {
    int status = -1;  // exit status, or -1 when a signal ended the run
    int signal = 0;   // the signal that ended it
    std::string out, err;
};

// Waits for the run (killing it after `timeout_seconds`) and collects what it printed.
ended_run finish(const started_run& run, int timeout_seconds = 60) {
    ended_run r;
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

TEST(Failures, OutputFilesAreReplacedOnlyByCompleteOnesAndNeverOverTheJob) {
    const std::string report = "[reports]\nfile = 'report.txt'\n";
    const std::string results = "[results]\nfile = 'results.mat'\n";
    const struct {
        const char* what;
        std::string outputs;
        rlim_t file_size;  // RLIMIT_FSIZE of the run
        int status;
        std::string err;
        const char* job = "job.toml";
    } cases[] = {
        {"a finished run", report + results, RLIM_INFINITY, 0, ""},
        {"a report that fails midway", report + results, 2000, 2, "ERROR STOP Cannot write report file 'report.txt'\n"},
        {"results that fail midway", results, 2000, 2, "ERROR STOP matfile: cannot write file 'results.mat'\n"},
        {"the job file as the report", "[reports]\nfile = 'job.toml'\n" + results, RLIM_INFINITY, 2,
         "ERROR STOP Error: reports.file names the job file 'job.toml' as an output\n"},
        {"the job file by another path", report + "[results]\nfile = './sub/../job.toml  '\n", RLIM_INFINITY, 2,
         "ERROR STOP Error: results.file names the job file './sub/../job.toml' as an output\n"},
        {"the job file by a symbolic link", report + "[results]\nfile = 'link.mat'\n", RLIM_INFINITY, 2,
         "ERROR STOP Error: results.file names the job file 'link.mat' as an output\n"},
        {"the job file by a hard link", "[reports]\nfile = 'hard.txt'\n", RLIM_INFINITY, 2,
         "ERROR STOP Error: reports.file names the job file 'hard.txt' as an output\n"},
        {"the job file as a figure", "[plots]\npython = 'true'\nformat = 'toml'\n", RLIM_INFINITY, 2,
         "ERROR STOP Error: plots.format names the job file 'mesh.toml' as an output\n", "mesh.toml"},
        {"one file for report and results", "[reports]\nfile = 'out'\n[results]\nfile = './out'\n", RLIM_INFINITY, 2,
         "ERROR STOP Error: results.file './out' is the same file as reports.file 'out'\n"},
        {"a NUL character in a name", "[reports]\nfile = \"report.txt\\u0000x\"\n" + results, RLIM_INFINITY, 2,
         std::string("ERROR STOP Error: reports.file 'report.txt\\0x' holds a NUL character\n")},
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

        const ended_run r = run_quorl(dir, {c.file_size, RLIM_INFINITY}, c.job);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(r.err, c.err);
        // Nothing left beside the files (no temporary file), the job as it was.
        EXPECT_EQ(files_in(dir), before);
        EXPECT_EQ(read_file(dir / c.job), job);
        if (c.status == 0) {
            EXPECT_TRUE(read_file(dir / "report.txt").ends_with("-\n\n\n"));
            EXPECT_EQ(fs::file_size(dir / "results.mat"), 128u + 15u * (64u + 8u * 4u * 4u));
            continue;
        }
        // The previous files are intact; a refused output is refused before any of them.
        EXPECT_EQ(read_file(dir / "report.txt"), "previous report");
        EXPECT_EQ(read_file(dir / "results.mat"), "previous results");
        if (c.file_size == RLIM_INFINITY) {
            EXPECT_EQ(r.out, " Loading config file " + std::string(c.job) + " ...\n Solving ...\n");
        }
    }
}

TEST(Failures, SignalRemovesTheTemporaryFileOfAnOutput) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path dir = fresh_dir("failure_output_signal");
        write_file(dir / "report.txt", "previous report");
        const pid_t pid = fork();
        if (pid == 0) {
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

    // SIGINT or SIGTERM while the interpreter runs: the run ends at once by that signal, the
    // interpreter is stopped, no script is left and no success line nor results file follows.
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path dir = fresh_dir("failure_figures_signal");
        write_file(dir / "job.toml", job_text("[plots]\npython = \"sh -c 'echo $$ > sleeper; exec sleep 30'; \"\n"
                                              "[results]\nfile = 'results.mat'\n"));
        const started_run run = start_quorl({"-i", "job.toml"}, dir);
        ASSERT_TRUE(eventually([&] { return read_file(dir / "sleeper").ends_with("\n"); }, 30.0));
        const pid_t sleeper = std::stoi(read_file(dir / "sleeper"));
        const auto sent = std::chrono::steady_clock::now();
        kill(run.pid, signal);
        const ended_run r = finish(run, 10);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
        EXPECT_EQ(r.signal, signal) << r.out << r.err;
        EXPECT_EQ(r.out, " Loading config file job.toml ...\n Solving ...\n WARNING: didn't found [reports] section!\n");
        EXPECT_EQ(r.err, "");
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

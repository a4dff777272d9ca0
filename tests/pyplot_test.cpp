// The matplotlib script writer: the images it makes, the script it writes, and how it runs the
// interpreter.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pyplot_module.hpp"
#include "test_support.hpp"

namespace fs = std::filesystem;
using pyplot_module::pyplot;
using pyplot_module::pyplot_error;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::system_python;
using quorl::test::write_file;

namespace {

// The script is written to the working directory: each test works in its own folder.
class in_dir {
public:
    explicit in_dir(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~in_dir() { fs::current_path(old_); }
    in_dir(const in_dir&) = delete;
    in_dir& operator=(const in_dir&) = delete;

private:
    fs::path old_;
};

// Whether a temporary script is left in the working directory.
bool script_left() {
    for (const auto& entry : fs::directory_iterator(fs::current_path()))
        if (entry.path().filename().string().starts_with(pyplot_module::temp_script_prefix)) return true;
    return false;
}

// This process's first choice of script name.
std::string own_script_name() { return pyplot_module::temp_script_prefix + std::to_string(getpid()) + ".py"; }

// A "Python command" that keeps a copy of the script it is given, as captured.py.
std::string capture_command(const fs::path& dir) {
    const fs::path script = dir / "capture.sh";
    write_file(script, "#!/bin/sh\ncp \"$1\" captured.py\n");
    fs::permissions(script, fs::perms::owner_all, fs::perm_options::add);
    return script.string();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Runs a small Python program (as a file) with the system interpreter; returns its stdout.
std::string run_python(const std::string& program) {
    write_file("probe.py", program);
    const int status = std::system((std::string(system_python) + " probe.py > probe.out").c_str());
    EXPECT_EQ(status, 0) << program;
    return read_file("probe.out");
}

void two_line_figure(pyplot& figure, bool axis_equal) {
    figure.initialize(true, "z (m)", "r (m)", "Machine geometry", false, axis_equal);
    const std::vector<double> x1{0.0, 0.5, 1.0}, y1{0.1, 0.15, 0.12};
    const std::vector<double> x2{0.0, 0.5, 1.0}, y2{0.3, 0.28, 0.31};
    figure.add_plot(x1, y1, "", "-k", 2);
    figure.add_plot(x2, y2, "", "-r", 1);
}

}  // namespace

TEST(Pyplot, SavesImageFilesAndRemovesTheScript) {
    const auto dir = fresh_dir("pyplot_images");
    in_dir here(dir);
    struct image_case {
        const char* file;
        std::string signature;
    };
    for (const image_case& c : {image_case{"machine.png", std::string("\x89PNG\r\n\x1a\n", 8)},
                                image_case{"machine.pdf", std::string("%PDF")}}) {
        SCOPED_TRACE(c.file);
        pyplot figure;
        two_line_figure(figure, true);
        EXPECT_EQ(figure.savefig(c.file, "75", system_python), 0);
        figure.destroy();
        EXPECT_FALSE(script_left());
        ASSERT_TRUE(fs::exists(c.file));
        EXPECT_EQ(read_file(c.file).substr(0, c.signature.size()), c.signature);
    }
}

TEST(Pyplot, ScriptHoldsTheFigureSettings) {
    const auto dir = fresh_dir("pyplot_settings");
    in_dir here(dir);
    const std::string command = capture_command(dir);

    pyplot figure;
    two_line_figure(figure, true);
    figure.savefig("machine.png", "150", command);
    EXPECT_FALSE(script_left());
    const auto lines = lines_of(read_file("captured.py"));
    for (const char* expected :
         {"matplotlib.use('Agg')", "import matplotlib.pyplot as plt", "plt.plot(x, y, '-k', linewidth=2, label='')",
          "plt.plot(x, y, '-r', linewidth=1, label='')", "plt.grid(True)", "plt.xlabel('z (m)')",
          "plt.ylabel('r (m)')", "plt.title('Machine geometry')", "plt.axis('equal')",
          "plt.savefig('machine.png', dpi=int('150'))", "plt.close()"}) {
        EXPECT_TRUE(has_line(lines, expected)) << expected;
    }
    EXPECT_FALSE(has_line(lines, "plt.legend()"));
    // The backend is chosen before pyplot is imported.
    EXPECT_LT(std::find(lines.begin(), lines.end(), "matplotlib.use('Agg')"),
              std::find(lines.begin(), lines.end(), "import matplotlib.pyplot as plt"));
    figure.destroy();

    // A new figure starts empty; grid, equal axes and legend follow the flags.
    figure.initialize(false, "Cm (m/s)", "r (m)", "Meridional velocity", true, false);
    figure.add_plot(std::vector<double>{1.0}, std::vector<double>{2.0}, "inlet", "-g", 3);
    figure.savefig("Cm_by_r.pdf", "75", command);
    const auto second = lines_of(read_file("captured.py"));
    EXPECT_TRUE(has_line(second, "plt.plot(x, y, '-g', linewidth=3, label='inlet')"));
    EXPECT_TRUE(has_line(second, "plt.legend()"));
    EXPECT_TRUE(has_line(second, "plt.savefig('Cm_by_r.pdf', dpi=int('75'))"));
    EXPECT_EQ(std::count_if(second.begin(), second.end(), [](const std::string& l) { return l.starts_with("plt.plot("); }),
              1);
    EXPECT_FALSE(has_line(second, "plt.grid(True)"));
    EXPECT_FALSE(has_line(second, "plt.axis('equal')"));
}

TEST(Pyplot, NumbersReadBackExactly) {
    const auto dir = fresh_dir("pyplot_numbers");
    in_dir here(dir);
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> x{0.1,
                                1e-300,
                                -0.0,
                                0.0,
                                2.0,
                                -3.0,
                                1.0 / 3.0,
                                1e17,
                                123456789012345678.0,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::denorm_min(),
                                -2.2250738585072014e-308,
                                std::numeric_limits<double>::quiet_NaN(),
                                inf,
                                -inf};
    pyplot figure;
    figure.initialize(true, "x", "y", "t", false, false);
    figure.add_plot(x, x, "", "-k", 1);
    figure.savefig("numbers.png", "75", capture_command(dir));
    const std::string script = read_file("captured.py");

    // Back through strtod: every finite number is the same double, bit for bit.
    const auto start = script.find("x = [");
    ASSERT_NE(start, std::string::npos);
    const std::string list = script.substr(start + 5, script.find(']', start) - start - 5);
    std::vector<std::string> items;
    for (std::size_t pos = 0;;) {
        const auto comma = list.find(", ", pos);
        items.push_back(list.substr(pos, comma - pos));
        if (comma == std::string::npos) break;
        pos = comma + 2;
    }
    ASSERT_EQ(items.size(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        SCOPED_TRACE(items[i]);
        if (std::isnan(x[i])) {
            EXPECT_EQ(items[i], "float('nan')");
        } else if (std::isinf(x[i])) {
            EXPECT_EQ(items[i], x[i] > 0 ? "float('inf')" : "-float('inf')");
        } else {
            char* end = nullptr;
            const double back = std::strtod(items[i].c_str(), &end);
            EXPECT_EQ(*end, '\0');
            EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(x[i]));
        }
    }

    // And as Python reads them: the same bits, and floats throughout (so -0.0 keeps its sign).
    const std::string out =
        run_python("import struct\nns = {}\nfor line in open('captured.py'):\n"
                   "    if line.startswith('x = '):\n        exec(line, ns)\n"
                   "print(' '.join(struct.pack('<d', v).hex() if isinstance(v, float) else 'int' for v in ns['x']))\n");
    std::string expected;
    for (double v : x) {
        if (!expected.empty()) expected += ' ';
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (int k = 0; k < 8; ++k) {
            static constexpr char hex[] = "0123456789abcdef";
            const unsigned b = (bits >> (8 * k)) & 0xFFu;
            expected += hex[b >> 4];
            expected += hex[b & 0xFu];
        }
    }
    EXPECT_EQ(out, expected + "\n");

    // Written as Python's repr writes them: the shortest digits that read back exactly.
    for (const auto& [value, text] : std::vector<std::pair<double, std::string>>{
             {0.1, "0.1"}, {1.0 / 3.0, "0.3333333333333333"}, {2.0, "2.0"}, {-0.0, "-0.0"}, {1e-4, "0.0001"},
             {1e-5, "1e-05"}, {1e15, "1000000000000000.0"}, {1e16, "1e+16"},
             {123456789012345678.0, "1.2345678901234568e+17"}, {5e-324, "5e-324"}}) {
        EXPECT_EQ(pyplot_module::python_float(value), text);
    }
}

TEST(Pyplot, TextsCannotBreakTheScript) {
    const auto dir = fresh_dir("pyplot_texts");
    in_dir here(dir);

    // Every text reads back in Python as the same bytes, whatever it holds.
    const std::vector<std::string> texts{"plain",
                                         "it's \"quoted\"",
                                         "back\\slash\\",
                                         "new\nline\r\ttab",
                                         std::string("nul\0bell\a\x7f", 10),
                                         "\xce\x94p (bar) \xe2\x82\xac \xf0\x9f\x99\x82",
                                         "bad \xff\xc3 utf-8 \xed\xa0\x80",
                                         "'); open('pwned', 'w'); ('"};
    std::string program = "import sys\n";
    for (const auto& t : texts) {
        program += "sys.stdout.buffer.write(" + pyplot_module::python_string(t) +
                   ".encode('utf-8', 'surrogateescape') + b'|')\n";
    }
    std::string expected;
    for (const auto& t : texts) expected += t + "|";
    EXPECT_EQ(run_python(program), expected);

    // A figure whose label, title and file name hold such characters is drawn under that name.
    pyplot figure;
    figure.initialize(true, "a\\b", "say \"hi\"\nnext", "'); open('pwned', 'w'); ('", true, false);
    figure.add_plot(std::vector<double>{0.0, 1.0}, std::vector<double>{0.0, 1.0}, "it's\\\n\"odd\"", "-b", 1);
    const std::string file = "it's \"a\" \xce\x94.png";
    figure.savefig(file, "75", system_python);
    EXPECT_FALSE(script_left());
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(read_file(file).substr(0, 4), "\x89PNG");
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST(Pyplot, CommandThatCannotRunIsAnError) {
    const auto dir = fresh_dir("pyplot_commands");
    in_dir here(dir);
    const fs::path not_executable = dir / "not_executable.sh";
    write_file(not_executable, "#!/bin/sh\nexit 0\n");
    fs::permissions(not_executable, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);

    // Commands that the shell cannot find or run; and one longer than the system passes to a
    // program (E2BIG), with which not even the shell starts.
    const struct {
        std::string command;
        std::string cannot;
    } cases[] = {{"/nonexistent/python3", "run"},
                 {"no_such_python_cmd_42", "run"},
                 {not_executable.string(), "run"},
                 {std::string(200'000, 'x'), "start a shell to run"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.substr(0, 40));
        pyplot figure;
        two_line_figure(figure, false);
        try {
            figure.savefig("fig.png", "75", c.command);
            ADD_FAILURE() << "expected pyplot_error";
        } catch (const pyplot_error& e) {
            EXPECT_EQ(std::string(e.what()), "pyplot: cannot " + c.cannot + " the Python command '" + c.command + "'");
        }
        EXPECT_FALSE(script_left());
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // nothing left to reap
    }
}

TEST(Pyplot, InterpreterFailureIsReturned) {
    const auto dir = fresh_dir("pyplot_failures");
    in_dir here(dir);
    // Core files allowed, so that one the command's supervisor wrongly left would show.
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    const rlimit allowed{core.rlim_max, core.rlim_max};
    setrlimit(RLIMIT_CORE, &allowed);
    // "false" exits 1; a script that fails inside Python (bad format string) exits 1 as well; a
    // shell ended by a signal gives 128 + its number, whatever the signal, and the supervisor
    // that ends by it too leaves no core file (the shell's own ulimit bars the shell's); a
    // command that reads its standard input reads end-of-file.
    const struct {
        std::string command;
        int status;
    } cases[] = {{"false", 1},
                 {std::string(system_python) + " 2>/dev/null", 1},
                 {"sh -c 'exit 3' sh", 3},
                 {"kill -TERM $$;", 128 + SIGTERM},
                 {"kill -USR1 $$;", 128 + SIGUSR1},
                 {"kill -KILL $$;", 128 + SIGKILL},
                 {"ulimit -c 0; kill -QUIT $$;", 128 + SIGQUIT},
                 {"read line || exit 5; exit 6 #", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        pyplot figure;
        figure.initialize(true, "x", "y", "t", false, false);
        figure.add_plot(std::vector<double>{0.0, 1.0}, std::vector<double>{0.0, 1.0}, "", "not a style", 1);
        EXPECT_EQ(figure.savefig("fig.png", "75", c.command), c.status);
        EXPECT_FALSE(script_left());
        EXPECT_FALSE(fs::exists("fig.png"));
    }
    setrlimit(RLIMIT_CORE, &core);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);  // no core file
}

namespace {

// The line of `lines` that starts with `key`.
std::string line_of(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines)
        if (line.starts_with(key)) return line;
    return "";
}

}  // namespace

TEST(Pyplot, CommandKeepsIgnoredSignalsInASessionOfItsOwnAndLeavesNoProcess) {
    const auto dir = fresh_dir("pyplot_processes");
    in_dir here(dir);
    const auto old_usr2 = signal(SIGUSR2, SIG_IGN);
    pyplot figure;
    two_line_figure(figure, false);
    const int status =
        figure.savefig("fig.png", "75", "echo $$ $PPID > ids; grep -e ^SigIgn -e ^NSsid /proc/$$/status > status #");
    signal(SIGUSR2, old_usr2);
    ASSERT_EQ(status, 0);

    const auto lines = lines_of(read_file("status"));
    const std::string session = line_of(lines, "NSsid:"), ignored = line_of(lines, "SigIgn:");
    ASSERT_TRUE(!session.empty() && !ignored.empty()) << read_file("status");
    EXPECT_NE(session, line_of(lines_of(read_file("/proc/self/status")), "NSsid:"));
    const std::uint64_t ignored_bits = std::stoull(ignored.substr(ignored.find('\t') + 1), nullptr, 16);
    EXPECT_NE(ignored_bits & (std::uint64_t{1} << (SIGUSR2 - 1)), 0u) << ignored;
    // Neither the shell nor its parent, which is not this process, is left, not even as a zombie.
    std::istringstream ids(read_file("ids"));
    pid_t shell = 0, parent = 0;
    ids >> shell >> parent;
    EXPECT_NE(parent, getpid());
    for (const pid_t pid : {shell, parent}) {
        SCOPED_TRACE(pid);
        EXPECT_EQ(kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH);
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(Pyplot, ScriptNeverReplacesAFileAndOneThatCannotBeWrittenIsAnError) {
    const auto dir = fresh_dir("pyplot_unwritable");
    {
        in_dir here(dir);
        // A file under this process's name, and a folder under its next one: both left alone,
        // the script goes under a third name.
        write_file(own_script_name(), "keep");
        const std::string next = pyplot_module::temp_script_prefix + std::to_string(getpid()) + "_1.py";
        fs::create_directory(next);
        pyplot figure;
        two_line_figure(figure, false);
        EXPECT_EQ(figure.savefig("fig.png", "75", capture_command(dir)), 0);
        EXPECT_EQ(read_file(own_script_name()), "keep");
        EXPECT_TRUE(fs::is_directory(next));
        EXPECT_NE(read_file("captured.py").find("plt.savefig('fig.png'"), std::string::npos);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);  // + capture.sh, captured.py
    }
    // A working directory that is gone: no script can be created there.
    const auto gone = dir / "gone";
    fs::create_directory(gone);
    in_dir here(gone);
    fs::remove(gone);
    pyplot figure;
    two_line_figure(figure, false);
    try {
        figure.savefig("fig.png", "75", "true");
        ADD_FAILURE() << "expected pyplot_error";
    } catch (const pyplot_error& e) {
        EXPECT_EQ(std::string(e.what()), "pyplot: cannot write the temporary script '" + own_script_name() + "'");
    }
}

// The command line and job-file loading, through the real binary.

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

using quorl::test::fresh_dir;
using quorl::test::run_quorl;
using quorl::test::write_file;

const char* usage =
    " Usage: Quorl [options]\n"
    " \n"
    " Options:\n"
    "   --help, -h: Print this help message\n"
    "   --input, -i: Input file (default: quorl.toml)\n"
    " \n";

TEST(CommandLine, HelpPrintsTheUsageTextAndReadsNothing) {
    const auto dir = fresh_dir("cli_help");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"-i", "x.toml", "-h"}}) {
        const auto r = run_quorl(args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
    }
}

TEST(CommandLine, UndeclaredOptionIsRefusedWithTheOptionTable) {
    const auto dir = fresh_dir("cli_refused");
    write_file(dir / "a.toml", "");
    write_file(dir / "quorl.toml", "");  // the default job file is not read either
    const struct {
        std::vector<std::string> args;
        std::string refused;  // named in the library's message
    } cases[] = {
        {{"--verbose"}, "--verbose"},
        {{"-x", "-i", "a.toml"}, "-x"},
        {{"-i", "a.toml", "--help", "--inputs"}, "--inputs"},
        {{"-i"}, "--input"},  // no file name
        // A job file given without -i, and other words: not taken for anything.
        {{"a.toml"}, "not expected: a.toml"},
        {{"word", "-i", "a.toml", "other"}, "not expected: other word"},
    };
    for (const auto& c : cases) {
        const auto r = run_quorl(c.args, dir);
        EXPECT_EQ(r.status, 2) << c.refused;  // a usage error, which a script must not take for a run
        EXPECT_NE(r.out.find(c.refused), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("-i,--input"), std::string::npos) << r.out;  // the table of options
        EXPECT_EQ(r.out.find("Loading config file"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Usage: Quorl"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST(CommandLine, InputOptionFormsNameTheJobFile) {
    const auto dir = fresh_dir("cli_input");
    const struct {
        std::vector<std::string> args;
        std::string name;
    } cases[] = {
        {{}, "quorl.toml"},
        {{"-i", "a.toml"}, "a.toml"},
        {{"--input", "b.toml"}, "b.toml"},
        {{"--input=c.toml"}, "c.toml"},
        {{"-i", "sub dir/my job.toml"}, "sub dir/my job.toml"},
    };
    for (const auto& c : cases) {
        const auto r = run_quorl(c.args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, " Loading config file " + c.name + " ...\nCould not open file '" + c.name + "'\n");
        EXPECT_EQ(r.err, "ERROR STOP 1\n");
    }
}

TEST(CommandLine, InvalidTomlIsReportedAtLoading) {
    const auto dir = fresh_dir("cli_invalid");
    write_file(dir / "bad.toml", "[machine]\ntype = 'compressor'\n[plots\npython = 1\n");
    const auto r = run_quorl({"-i", "bad.toml"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind(" Loading config file bad.toml ...\nerror: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("bad.toml:3:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[plots"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Solving"), std::string::npos);
    EXPECT_EQ(r.err, "ERROR STOP 1\n");
}

TEST(CommandLine, EmptyJobFileLoadsAndStopsInInit) {
    const auto dir = fresh_dir("cli_empty");
    for (const char* text : {"", "# comments only\n\n"}) {
        write_file(dir / "empty.toml", text);
        const auto r = run_quorl({"--input=empty.toml"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, " Loading config file empty.toml ...\n Solving ...\n");
        EXPECT_EQ(r.err, "ERROR STOP ERROR: didn't found [machine] section!\n");
    }
}

}  // namespace

// Every shipped example and a few jobs that reach rarely taken branches (the Lieblein
// supercritical loss, a leaned and trimmed two-stage machine, the Aungier turbine model's
// Reynolds-number correction above Re = 5e5, and a turbine whose exits turn supersonic on the
// way and which ends non-finite) run through the real binary, and their outputs are compared
// byte for byte with the ones kept under tests/golden: the results file past its 128-byte header
// (which holds the date; any NaN there equals any other), the report file and standard output
// but for the line with the date, the exit status and standard error. A change that is meant to
// alter the numbers remakes them with scripts/remake_golden.sh. (tests/golden/fixed_flow_field
// holds the report of a hand-set flow field under the same rules, and
// tests/golden/compressor_stage_lieblein_slow the performance block of a whole run; report_test
// compares them.)
//
// The Aungier model's supersonic deviation is taken on the way but in no final state: among over
// 1300 turbine jobs tried (annulus, blading, mass flow, speed, inlet state and loss factor varied),
// every one whose exit turned supersonic in the main sweeps either went non-finite or ended
// subsonic. turbine_stage and turbine_high_pressure take it at the stator hub in the start-up
// sweeps only, and no fault planted in it moved a byte of their outputs. turbine_supersonic takes
// it in the start-up sweeps and at the rotor exit in the second main sweep, just before that state
// goes non-finite, and its outputs show many faults of the branch but not all: a shift of the
// deviation in that sweep from 1e-7 to 1 degree shows, one of 1e-8 or less does not, and neither
// does a change of the cap at max_exit_angle or the subsonic formula in the branch's place. The
// model's unit test PerformanceModelAungier.MatchesIndependentEvaluation holds the branch: it
// fails for each of these faults (down to a shift of 1e-8 degree and a factor 1 + 1e-12).
//
// QUORL_GOLDEN_BINARY runs another quorl binary than the one built here; QUORL_UPDATE_GOLDEN=1
// writes the outputs as the new golden files instead of comparing.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorl::test;

struct golden_case {
    const char* name;  // the job's stem, and the folder of its golden files
    const char* job;   // under the source tree
};

const golden_case cases[] = {
    {"air_coolprop", "examples/air_coolprop.toml"},
    {"co2_turbine_aungier_gas", "examples/co2_turbine_aungier_gas.toml"},
    {"compressor_stage", "examples/compressor_stage.toml"},
    {"compressor_stage_lieblein", "examples/compressor_stage_lieblein.toml"},
    {"turbine_stage", "examples/turbine_stage.toml"},
    {"lieblein_supercritical", "tests/golden/jobs/lieblein_supercritical.toml"},
    {"turbine_high_pressure", "tests/golden/jobs/turbine_high_pressure.toml"},
    {"turbine_supersonic", "tests/golden/jobs/turbine_supersonic.toml"},
    {"two_stage_leaned", "tests/golden/jobs/two_stage_leaned.toml"},
};

// The job as it runs here: without its [plots] table, with the stand-in for a CoolProp library,
// and with the report and results written to report.txt and results.mat. Edited as text so that
// every number reaches the program as written.
std::string prepared_job(const std::string& text) {
    std::istringstream in(text);
    std::string line, out, table;
    while (std::getline(in, line)) {
        if (line.starts_with("[")) table = line.substr(0, line.find(']') + 1);
        if (table == "[plots]") continue;
        if (table == "[thermo.coolprop]" && line.starts_with("library ")) line = std::string("library = \"") + QUORL_COOLPROP_STANDIN + "\"";
        if (table == "[reports]" && line.starts_with("file ")) line = "file = \"report.txt\"";
        if (table == "[results]" && line.starts_with("file ")) line = "file = \"results.mat\"";
        out += line + "\n";
    }
    return out;
}

// The results file past its header.
std::string past_header(const std::string& bytes) { return bytes.size() < 128 ? bytes : bytes.substr(128); }

// Whether two outputs are the same bytes, except that in a results file any NaN equals any other:
// which NaN an operation on two NaN operands returns, and so its sign bit, is left open by IEEE
// 754 and differs between builds of the same code (the sanitizer build flips it). Every element
// of the file starts on an 8-byte boundary, so the doubles are the aligned 8-byte words.
bool same_output(const std::string& file, const std::string& expected, const std::string& actual) {
    if (file != "results.mat" || expected.size() != actual.size()) return expected == actual;
    const auto is_nan = [](const std::string& bytes, std::size_t at) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        return std::isnan(std::bit_cast<double>(word));
    };
    for (std::size_t at = 0; at < expected.size(); at += 8) {
        const std::size_t n = std::min<std::size_t>(8, expected.size() - at);
        if (expected.compare(at, n, actual, at, n) == 0) continue;
        if (n < 8 || !is_nan(expected, at) || !is_nan(actual, at)) return false;
    }
    return true;
}

class Golden : public testing::TestWithParam<golden_case> {};

TEST_P(Golden, OutputsAreByteIdentical) {
    const golden_case& c = GetParam();
    const char* binary_override = std::getenv("QUORL_GOLDEN_BINARY");
    const std::string binary = binary_override && *binary_override ? binary_override : QUORL_BINARY;
    const bool update = updating_golden();

    const fs::path dir = fresh_dir(std::string("golden_") + c.name);
    write_file(dir / "job.toml", prepared_job(read_file(source_path(c.job))));
    const run_result r = run_program(binary, {"-i", "job.toml"}, dir, 600);
    ASSERT_TRUE(fs::exists(dir / "report.txt")) << r.out << r.err;
    ASSERT_TRUE(fs::exists(dir / "results.mat")) << r.out << r.err;

    const struct {
        const char* file;
        std::string bytes;
    } outputs[] = {
        {"status.txt", std::to_string(r.status) + "\n"},
        {"stdout.txt", without_date(r.out)},
        {"stderr.txt", r.err},
        {"report.txt", without_date(read_file(dir / "report.txt"))},
        {"results.mat", past_header(read_file(dir / "results.mat"))},
    };
    const fs::path golden = golden_path(c.name);
    if (update) {
        fs::create_directories(golden);
        for (const auto& o : outputs) write_file(golden / o.file, o.bytes);
        return;
    }
    for (const auto& o : outputs) {
        SCOPED_TRACE(o.file);
        ASSERT_TRUE(fs::exists(golden / o.file)) << "no golden file: remake them with scripts/remake_golden.sh";
        EXPECT_TRUE(same_output(o.file, read_file(golden / o.file), o.bytes)) << "differs from " << (golden / o.file).string();
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, Golden, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<golden_case>& info) { return std::string(info.param.name); });

}  // namespace

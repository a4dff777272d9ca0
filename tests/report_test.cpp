// The report: its records and tables on a hand-set flow field, the `reports` table, and the
// performance block and file handling on whole runs.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "clock.hpp"
#include "fake_gas.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "mesh.hpp"
#include "performance_model.hpp"
#include "quorl.hpp"
#include "quorl_report.hpp"
#include "stage_job.hpp"
#include "stop.hpp"
#include "test_support.hpp"
#include "version.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorl;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::write_file;

// A gas whose four report properties are simple, distinct closed forms, so that every table
// value can be checked by hand and a swapped argument or a wrong property shows.
class report_gas_t : public test::fake_gas_t {
public:
    double entropy_pt(double p, double T) const override { return 10.0 * T - p / 1000.0; }
    double pressure_hs(double h, double s) const override { return h / 2.0 - s; }
    double temperature_hp(double h, double p) const override { return h / 1000.0 + p / 100000.0; }
    double enthalpy_ps(double p, double s) const override { return 2.0 * p - 10.0 * s; }
};

// A loss coefficient that shows which quasi-normals and streamline it was asked for.
class report_model_t : public performance_model_t {
public:
    double deviation(int, int, int) const override { return 0.0; }
    double incidence(int, int, int) const override { return 0.0; }
    double pressure_loss(int i1, int i2, int j) const override { return 0.1 * i2 + 0.01 * i1 + 0.001 * j; }
};

constexpr int nq = 4;  // inlet, leading edge, trailing edge, outlet
constexpr int ns = 3;

// One rotor "Rotor 1" (frame_sign +1, 3000 rpm) on radial quasi-normals; every value differs
// by quasi-normal and streamline. rho and cm are uniform on each quasi-normal and r is linear
// in y, so the mass-flux averages of linear profiles are exact.
void set_up_state(const char* machine_type = "compressor") {
    machine_state& mach = machine();
    mach.machine_type = machine_type;
    mach.blade_row.clear();
    mach.blade_row.resize(1);
    blade_row_t& row = mach.blade_row(1);
    row.name = "Rotor 1";
    row.rotating = true;
    row.frame_sign = 1;
    row.performance_model = std::make_unique<report_model_t>();

    mesh_state& m = mesh();
    m.number_of_quasinormals = nq;
    m.number_of_streamlines = ns;
    for (array2d* a : {&m.z, &m.r, &m.y, &m.m, &m.phi, &m.lambda, &m.kappa}) a->resize(nq, ns);
    m.passage_type = array1<int>(nq, 0);
    m.passage_type(2) = 1;

    flowfield_state& ff = flowfield();
    ff.gas = std::make_unique<report_gas_t>();
    ff.boco = {101325.0, 288.15, 5.0, 3000.0};
    for (array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct}) a->resize(nq, ns);
    for (int i = 1; i <= nq; ++i) {
        for (int j = 1; j <= ns; ++j) {
            m.y(i, j) = 0.05 * (j - 1);
            m.r(i, j) = 0.1 + 0.01 * (i - 1) + m.y(i, j);
            m.z(i, j) = 0.1 * (i - 1);
            m.phi(i, j) = 20.0;
            m.lambda(i, j) = -40.0;
            ff.p(i, j) = 100000.0 + 10000.0 * (i - 1) + 1000.0 * (j - 1);
            ff.t(i, j) = 300.0 + 10.0 * (i - 1) + (j - 1);
            ff.rho(i, j) = 1.0 + 0.1 * i;
            ff.s(i, j) = 2000.0 + 10.0 * i + j;
            ff.htot(i, j) = 300000.0 + 20000.0 * (i - 1) + 500.0 * (j - 1);
            ff.cm(i, j) = 100.0 + 10.0 * i;
            ff.ct(i, j) = i == 1 ? -1e-9 * j : -10.0 * j * (i - 1);  // inlet: rounds to -0.000000
        }
    }
}

// The clock of the report headings, fixed for the golden text.
local_time_text fixed_clock() { return {"20240229", "235959.999"}; }

struct clock_guard {
    explicit clock_guard(std::function<local_time_text()> clock) { set_clock_for_tests(std::move(clock)); }
    ~clock_guard() { set_clock_for_tests({}); }
};

std::string report_text() {
    std::ostringstream out;
    quorl_print_report(out);
    return out.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Compares line by line and names the first column that differs.
void expect_same_lines(const std::string& actual, const std::string& expected) {
    const auto a = lines_of(actual), e = lines_of(expected);
    EXPECT_EQ(a.size(), e.size());
    for (std::size_t k = 0; k < std::min(a.size(), e.size()); ++k) {
        if (a[k] == e[k]) continue;
        std::size_t c = 0;
        while (c < a[k].size() && c < e[k].size() && a[k][c] == e[k][c]) ++c;
        ADD_FAILURE() << "line " << k + 1 << ", column " << c + 1 << "\n  actual:   '" << a[k] << "'\n  expected: '"
                      << e[k] << "'";
    }
}

// True when `text` matches `pattern`, where '#' stands for one decimal digit.
bool matches_digits(std::string_view text, std::string_view pattern) {
    if (text.size() != pattern.size()) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const bool digit = text[k] >= '0' && text[k] <= '9';
        if (pattern[k] == '#' ? !digit : text[k] != pattern[k]) return false;
    }
    return true;
}

// A row of a station table: "     k.)" with k from 1 to 3, then eight F12.6 fields.
bool is_table_row(const std::string& line) {
    if (line.size() != 104 || line.compare(0, 5, "     ") != 0 || line[5] < '1' || line[5] > '3' ||
        line.compare(6, 2, ".)") != 0)
        return false;
    for (std::size_t c = 8; c < 104; c += 12) {
        const std::string_view field(line.data() + c, 12);
        const std::size_t first = field.find_first_not_of(' ');
        if (first == std::string_view::npos || first > 5) return false;
        std::string_view number = field.substr(first);
        if (number[0] == '-') number.remove_prefix(1);
        const std::size_t point = number.find('.');
        if (point == 0 || point == std::string_view::npos || number.size() - point - 1 != 6) return false;
        for (std::size_t k = 0; k < number.size(); ++k)
            if (k != point && (number[k] < '0' || number[k] > '9')) return false;
    }
    return true;
}

TEST(Report, WholeReportOfAFixedFlowField) {
    set_up_state();
    clock_guard clock(fixed_clock);
    const std::string text = report_text();
    const fs::path golden = test::golden_path("fixed_flow_field/report.txt");
    if (test::updating_golden()) write_file(golden, test::without_date(text));
    else expect_same_lines(test::without_date(text), read_file(golden));

    // The layout independently of the golden text: table records 104 columns without a
    // leading blank, dash records a blank and 103 minus signs, free-format records with one.
    const std::string dashes = " " + std::string(103, '-');
    int tables = 0, rows = 0, dash_records = 0;
    for (const std::string& line : lines_of(text)) {
        if (line.rfind("    Line", 0) == 0) {
            ++tables;
            EXPECT_EQ(line.size(), 104u) << line;
        } else if (line == dashes) {
            ++dash_records;
        } else if (is_table_row(line)) {
            ++rows;
            EXPECT_EQ(line.size(), 104u) << line;
            for (std::size_t c = 8; c < 104; c += 12) EXPECT_EQ(line[c + 5], '.') << line;  // F12.6 fields
        } else {
            EXPECT_TRUE(line.empty() || line[0] == ' ') << line;
        }
    }
    EXPECT_EQ(tables, 2 * nq);
    EXPECT_EQ(rows, 2 * nq * ns);
    EXPECT_EQ(dash_records, 4 * nq + 2);
    EXPECT_EQ(text.substr(0, text.find("Boundary conditions")),
              std::string("\n QUORL report, code version ") + code_version + ", generated on 20240229 at 235959.999\n\n ");
}

TEST(Report, TurbinePerformanceBlockAndUnknownMachineType) {
    set_up_state("turbine  ");  // trailing blanks do not count
    clock_guard clock(fixed_clock);
    const std::string text = report_text();
    const std::string block = text.substr(text.find(" Turbine performance:"));
    // Every averaged profile is linear in y, so its mass-flux average is its value at the
    // weighted mean ybar = int(y r) / int(r) over y in [0, 0.1], with r = r0 + y.
    const auto ybar = [](double r0) { return (r0 * 0.005 + 0.001 / 3.0) / (r0 * 0.1 + 0.005); };
    const double y1 = ybar(0.1), y4 = ybar(0.13);
    const double p1 = 100000.0 + 20000.0 * y1, H1 = 300000.0 + 10000.0 * y1, s1 = 2011.0 + 20.0 * y1;
    const double pt1 = 147989.0 + 4980.0 * y1;  // htot / 2 - s
    const double p2 = 130000.0 + 20000.0 * y4, H2 = 360000.0 + 10000.0 * y4, pt2 = 177959.0 + 4980.0 * y4;
    const double His = 2.0 * pt2 - 10.0 * s1;
    const std::string dashes = " " + std::string(103, '-');
    const auto lines = lines_of(block);
    ASSERT_EQ(lines.size(), 9u) << block;
    EXPECT_EQ(lines[0], " Turbine performance:");
    EXPECT_EQ(lines[1].substr(0, 36), " Mass flow rate                   : ");
    EXPECT_EQ(lines[2].substr(0, 36), " Power                            : ");
    EXPECT_EQ(lines[3].substr(0, 36), " Expansion rate  (static-static)  : ");
    EXPECT_EQ(lines[4].substr(0, 36), " Expansion rate  (total-total)    : ");
    EXPECT_EQ(lines[5].substr(0, 36), " Efficiency                       : ");
    EXPECT_EQ(lines[6], dashes);
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "");
    const auto value = [&](int k) { return std::strtod(lines[static_cast<std::size_t>(k)].c_str() + 36, nullptr); };
    EXPECT_EQ(lines[2].substr(62), " W");
    EXPECT_EQ(lines[3].size(), 62u);
    EXPECT_EQ(lines[5].substr(62), " %");
    EXPECT_NEAR(value(2), value(1) * (H1 - H2), 1e-12 * std::fabs(value(1) * (H1 - H2)));
    EXPECT_NEAR(value(3), p1 / p2, 1e-14);
    EXPECT_NEAR(value(4), pt1 / pt2, 1e-14);
    EXPECT_NEAR(value(5), 100.0 * (H1 - H2) / (H1 - His), 1e-11);

    machine().machine_type = "Turbine";
    EXPECT_STOP(report_text(), "Unknown machine type");
}

// create_report on the hand-set flow field, in a fresh working directory.
struct report_run {
    std::string printed;
    std::vector<std::string> files;  // names in the working directory
};

report_run create_report_with(const std::string& toml) {
    quorl_job_t job;
    job.table = test::parse_toml(toml);
    report_run r;
    r.printed = test::captured_stdout([&] { job.create_report(); });
    for (const auto& e : fs::directory_iterator(".")) r.files.push_back(e.path().filename().string());
    return r;
}

struct cwd_guard {
    fs::path old = fs::current_path();
    explicit cwd_guard(const fs::path& dir) { fs::current_path(dir); }
    ~cwd_guard() { fs::current_path(old); }
};

TEST(Report, ReportsTableSendsTheReportToScreenAndFile) {
    set_up_state();
    clock_guard clock(fixed_clock);
    const std::string report = report_text();
    const std::string warning = " WARNING: didn't found [reports] section!\n";
    const struct {
        std::string toml;
        std::string printed;
        std::vector<std::string> files;
    } cases[] = {
        {"", warning, {}},
        {"reports = 3\n", warning, {}},
        {"[report]\nscreen = true\n", warning, {}},
        {"[reports]\n", "", {}},
        {"[reports]\nscreen = false\nfile = 5\n", "", {}},
        {"[reports]\nscreen = true\n", report, {}},
        {"[reports]\nScreen = true\nFile = 'x.txt'\n", "", {}},
        {"[reports]\nfile = 'out.txt'\n", "", {"out.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.toml);
        cwd_guard cwd(fresh_dir("report_table"));
        const report_run r = create_report_with(c.toml);
        EXPECT_EQ(r.printed, c.printed);
        EXPECT_EQ(r.files, c.files);
        for (const std::string& name : c.files) EXPECT_EQ(read_file(name), report);
    }

    // Trailing blanks of the name are dropped and an older, longer file is replaced.
    cwd_guard cwd(fresh_dir("report_replace"));
    write_file("out.txt", std::string(20000, 'x'));
    EXPECT_EQ(create_report_with("[reports]\nfile = 'out.txt   '\n").files, std::vector<std::string>{"out.txt"});
    EXPECT_EQ(read_file("out.txt"), report);
}

TEST(Report, ScreenAndFileEachReadTheClock) {
    set_up_state();
    int calls = 0;
    clock_guard clock([&calls] { return local_time_text{"20240229", fmt::format("120000.{:03d}", ++calls)}; });
    cwd_guard cwd(fresh_dir("report_both"));
    const report_run r = create_report_with("[reports]\nscreen = true\nfile = 'report.txt'\n");
    EXPECT_EQ(calls, 2);
    const std::string file = read_file("report.txt");
    EXPECT_NE(r.printed.find(" at 120000.001\n"), std::string::npos);  // the console copy first
    EXPECT_NE(file.find(" at 120000.002\n"), std::string::npos);
    std::string masked = file;
    masked.replace(masked.find("120000.002"), 10, "120000.001");
    EXPECT_EQ(r.printed, masked);
}

TEST(Report, ReportsTableErrors) {
    set_up_state();
    clock_guard clock(fixed_clock);
    cwd_guard cwd(fresh_dir("report_errors"));
    EXPECT_STOP(create_report_with("[reports]\nscreen = 'yes'\nfile = 'r.txt'\n"), "reports.screen must be a boolean");
    EXPECT_FALSE(fs::exists("r.txt"));

    EXPECT_STOP_STATUS(create_report_with("[reports]\nfile = 'no_such_dir/r.txt  '\n"),
                       "Cannot create report file 'no_such_dir/r.txt'", 2);
    EXPECT_STOP_STATUS(create_report_with("[reports]\nfile = ''\n"), "Cannot create report file ''", 2);
    if (fs::exists("/dev/full"))
        EXPECT_STOP_STATUS(create_report_with("[reports]\nfile = '/dev/full'\n"),
                           "Cannot write report file '/dev/full'", 2);
}

// A lossless rotor without deviation, designed for a free vortex behind it (the same work on
// every streamline, so that the mass-flux averages are close to exact).
std::string lossless_rotor(const std::string& reports) {
    test::stage_job job;
    job.streamlines = 7;
    test::blade_row_job rotor = test::stage_rotor();
    rotor.leading_edge = {{0.08, 0.18}, {0.08, 0.32}};
    rotor.inlet_angle = {46.0, 61.3};
    rotor.chord = {0.05, 0.05};
    rotor.relative_thickness = {0.08, 0.08};
    job.rows = {rotor};
    job.tail = reports;
    return test::job_text(job);
}

TEST(Report, LosslessCompressorIsFullyEfficientAndAbsorbsPower) {
    quorl_job_t job;
    job.table = test::parse_toml(lossless_rotor(""));
    test::captured_stdout([&] {
        job.init();
        job.run();
    });

    const std::string text = report_text();
    const int N = mesh().number_of_quasinormals;
    const double mdot = test::report_value(text, "Mass flow rate");
    EXPECT_EQ(mdot, mass_flow_rate(N));
    // Euler's work equation: the rotor keeps each streamline's rothalpy htot + U Ct, the inflow
    // has no swirl and the duct behind the rotor keeps r Ct, so a streamline leaves with
    // htot_in - omega r Ct. The power mdot (H1 - H2) is then mdot omega times the mass-flux
    // average of r Ct at the outlet, which lies between its least and its greatest value.
    const double omega = 2.0 * 3.141592653589793 * flowfield().boco.rpm / 60.0;
    double least = INFINITY, greatest = -INFINITY;
    for (int j = 1; j <= mesh().number_of_streamlines; ++j) {
        const double rCt = mesh().r(N, j) * flowfield().ct(N, j);
        least = std::min(least, rCt);
        greatest = std::max(greatest, rCt);
    }
    const double power = test::report_value(text, "Power");
    EXPECT_LT(power, -500e3);  // work is done on the flow
    EXPECT_GE(power / (mdot * omega), least - 1e-12 * std::fabs(least));
    EXPECT_LE(power / (mdot * omega), greatest + 1e-12 * std::fabs(greatest));
    EXPECT_NEAR(test::report_value(text, "Efficiency"), 100.0, 0.1);
    EXPECT_GT(test::report_value(text, "Compression  (total-total)"), 1.2);
}

// Whole runs through the program: the report comes after the sweeps and before the end line.
TEST(Report, ScreenAndFileCopiesOnAWholeRun) {
    const fs::path dir = fresh_dir("report_whole_run");
    write_file(dir / "job.toml", lossless_rotor("[reports]\nscreen = true\nfile = 'report.txt '\n"));
    const auto r = test::run_quorl({"-i", "job.toml"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string head = " Loading config file job.toml ...\n Solving ...\n";
    ASSERT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    const std::string file = read_file(dir / "report.txt");
    ASSERT_GT(file.size(), 1000u);
    std::string console = r.out.substr(head.size(), file.size());
    // Only the time of the heading may differ.
    const std::string heading = std::string("\n QUORL report, code version ") + code_version + ", generated on ######## at ######.###\n";
    EXPECT_TRUE(matches_digits(file.substr(0, heading.size()), heading)) << file.substr(0, heading.size() + 8);
    const std::size_t time = heading.size() - 11;  // hhmmss.sss and the line end
    console.replace(time, 10, file.substr(time, 10));
    EXPECT_EQ(console, file);
    EXPECT_EQ(r.out.substr(r.out.size() - 29), " Quorl finished successfully\n");
}

// A shipped example without its figures and results, with boundary conditions changed and the
// given `reports` table (none when empty).
std::string example_job(const char* example, const std::vector<std::pair<const char*, double>>& boundary_conditions,
                        const std::string& reports) {
    toml::table job = test::parse_toml(read_file(test::source_path("examples") / example));
    for (const char* table : {"plots", "results", "reports"}) job.erase(table);
    for (const auto& [key, value] : boundary_conditions)
        job.at_path("boundary_conditions").as_table()->insert_or_assign(key, value);
    std::ostringstream out;
    out << job << "\n" << reports;
    return out.str();
}

TEST(Report, UnwritableReportFileEndsTheRunWithStatusTwo) {
    const std::string reports = "[reports]\nscreen = true\nfile = 'missing/report.txt'\n";
    const std::string failure = "ERROR STOP Cannot create report file 'missing/report.txt'\n";
    // The warning on the efficiency follows the report on the screen, also when the file fails.
    const std::string warning =
        " WARNING: the compressor does not compress, total-to-total pressure ratio 0.799, and gives work, power "
        "36.5 kW: its efficiency has no meaning\n";
    const struct {
        const char* what;
        std::string job;
        std::string err;
    } cases[] = {
        {"a machine that works", lossless_rotor(reports), failure},
        {"a compressor that expands", example_job("compressor_stage_lieblein.toml", {{"rpm", 785.4}}, reports),
         warning + failure},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fresh_dir("report_unwritable");
        write_file(dir / "job.toml", c.job);
        const auto r = test::run_quorl({"-i", "job.toml"}, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.err);
        const std::size_t performance = r.out.find(" Compressor performance:");
        EXPECT_NE(performance, std::string::npos);  // the console copy came first
        if (c.err != failure) {
            EXPECT_NE(r.out.find(warning, performance), std::string::npos) << r.out;
        }
        EXPECT_EQ(r.out.find("Quorl finished successfully"), std::string::npos);
    }
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The lines of a report from its performance heading to the dashes that close the block.
std::string performance_block(const std::string& report) {
    const std::size_t heading = report.find(" performance:\n");
    if (heading == std::string::npos) return "";
    const std::size_t begin = report.rfind('\n', heading) + 1;
    const std::size_t end = report.find("\n ---", heading);
    return report.substr(begin, end == std::string::npos ? end : end + 1 - begin);
}

// A machine that does not do what its type says: its report and status stay, and one warning
// after the performance block says why its efficiency means nothing.
TEST(Report, EfficiencyOfAMachineThatDoesNotWorkAsItsTypeSaysIsNamedMeaningless) {
    const std::string no_compression =
        "WARNING: the compressor does not compress, total-to-total pressure ratio 0.799, and gives work, power "
        "36.5 kW: its efficiency has no meaning";
    const std::string screen_and_file = "[reports]\nscreen = true\nfile = 'report.txt'\n";
    const struct {
        const char* what;
        const char* example;
        std::vector<std::pair<const char*, double>> boundary_conditions;
        std::string reports;
        std::string warning;  // "" for none
        int status = 0;
        // The report file's performance block, kept under tests/golden (nullptr: not compared).
        const char* golden_performance = nullptr;
    } cases[] = {
        // The speed given in rad/s: the rotor turns too slowly and the flow drives it.
        {"a compressor that expands, to screen and file", "compressor_stage_lieblein.toml", {{"rpm", 785.4}},
         screen_and_file, no_compression, 0, "compressor_stage_lieblein_slow/performance.txt"},
        {"the same to the file alone", "compressor_stage_lieblein.toml", {{"rpm", 785.4}},
         "[reports]\nfile = 'report.txt'\n", no_compression},
        // The report file is standard output itself: the warning still follows the report.
        {"the same to /dev/stdout as the report file", "compressor_stage_lieblein.toml", {{"rpm", 785.4}},
         "[reports]\nfile = '/dev/stdout'\n", no_compression},
        // No efficiency printed, none to qualify.
        {"the same without a report", "compressor_stage_lieblein.toml", {{"rpm", 785.4}}, "", ""},
        {"a turbine at too low a mass flow", "turbine_stage.toml", {{"mdot_in", 10.0}}, screen_and_file,
         "WARNING: the turbine takes work, power -8.69 kW: its efficiency has no meaning"},
        // No row turns: the power is rounding noise, here positive, which must not pass for work.
        {"a turbine at rest", "co2_turbine_aungier_gas.toml", {{"rpm", 0.0}}, screen_and_file,
         "WARNING: the turbine gives no work, power 1.4e-11 kW with no row turning: its efficiency has no meaning"},
        // A state that is no solution ends with its own error.
        {"a compressor at rest, whose solution is not finite", "compressor_stage.toml", {{"rpm", 0.0}},
         screen_and_file, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fresh_dir("report_meaningless_efficiency");
        write_file(dir / "job.toml", example_job(c.example, c.boundary_conditions, c.reports));
        const auto r = test::run_quorl({"-i", "job.toml"}, dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(count_of(r.out + r.err, "its efficiency has no meaning"), c.warning.empty() ? 0u : 2u) << r.out;
        if (c.warning.empty()) continue;
        EXPECT_EQ(r.err, " " + c.warning + "\n");
        // Once, right after the report has been written (the report file holds no warning).
        const std::string report = read_file(dir / "report.txt");
        EXPECT_EQ(report.find("WARNING"), std::string::npos);
        const std::size_t at = r.out.find(" " + c.warning + "\n");
        ASSERT_NE(at, std::string::npos) << r.out;
        if (c.reports == screen_and_file) {
            EXPECT_EQ(r.out.substr(at - 4, 4), "-\n\n\n");
        }
        EXPECT_NE(r.out.find("Quorl finished successfully", at), std::string::npos);
        // The figures that the report file prints, the same as without the warning.
        if (c.golden_performance != nullptr) {
            const fs::path golden = test::golden_path(c.golden_performance);
            if (test::updating_golden()) {
                fs::create_directories(golden.parent_path());
                write_file(golden, performance_block(report));
            } else {
                expect_same_lines(performance_block(report), read_file(golden));
            }
        }
    }
}

}  // namespace

// Results file: the job's `results` table and the MAT-file of the flow field, read back by libmatio.

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <matio.h>

#include "fake_gas.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "mesh.hpp"
#include "quorl.hpp"
#include "stop.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorl;
using quorl::test::fresh_dir;
using quorl::test::parse_toml;
using quorl::test::read_file;
using quorl::test::write_file;

constexpr double pi = 3.141592653589793;
constexpr double rpm = 3000.0;

// A gas with simple closed forms for the two properties the results file needs;
// pressure_hs stops the run when asked to fail.
class test_gas_t : public test::fake_gas_t {
public:
    bool fail = false;
    // Every property call in order: the function, its first argument and the entropy.
    struct call {
        char what;  // 'p' pressure_hs, 'T' temperature_ps
        double first;
        double s;
    };
    mutable std::vector<call> calls;

    static double p_hs(double h, double s) { return 2.0 * h - 100.0 * s; }
    static double T_ps(double p, double s) { return p / 1000.0 + 0.01 * s; }

    double pressure_hs(double h, double s) const override {
        if (fail) fatal("test gas: pressure_hs failed");
        calls.push_back({'p', h, s});
        return p_hs(h, s);
    }
    double temperature_ps(double p, double s) const override {
        calls.push_back({'T', p, s});
        return T_ps(p, s);
    }
};

constexpr int nq = 6;   // two rows: inlet, LE1, TE1, LE2, TE2, outlet
constexpr int ns = 10;

// Distinct values at every point, so that a transposed or shifted matrix shows.
double val_z(int i, int j) { return 0.1 * i + 0.001 * j; }
double val_r(int i, int j) { return 0.3 + 0.01 * j + 0.0001 * i; }
double val_p(int i, int j) { return 1.0e5 + 1000.0 * i + 10.0 * j; }
double val_t(int i, int j) { return 300.0 + i + 0.01 * j; }
double val_rho(int i, int j) { return 1.2 + 0.01 * i + 0.001 * j; }
double val_s(int i, int j) { return 100.0 + i + 0.1 * j; }
double val_htot(int i, int j) { return 3.0e5 + 1000.0 * i + 10.0 * j; }
double val_cm(int i, int j) { return 150.0 + j + 0.5 * i; }
double val_ct(int i, int j) { return 20.0 * i - j; }

test_gas_t* gas_in_use = nullptr;

// Mesh and flow field of a two-row machine: row 1 a rotor (frame_sign +1), row 2 a
// stator with frame_sign -1.
void set_up_state() {
    mesh_state& m = mesh();
    m.number_of_quasinormals = nq;
    m.number_of_streamlines = ns;
    m.z.resize(nq, ns);
    m.r.resize(nq, ns);
    m.passage_type.resize(nq);
    const int passage[nq] = {0, 1, 0, 2, 0, 0};
    for (int i = 1; i <= nq; ++i) m.passage_type(i) = passage[i - 1];

    machine_state& mach = machine();
    mach.machine_type = "compressor";
    if (mach.blade_row.size() != 2) {
        mach.blade_row.clear();
        mach.blade_row.resize(2);
    }
    mach.blade_row(1).rotating = true;
    mach.blade_row(1).frame_sign = 1;
    mach.blade_row(2).rotating = false;
    mach.blade_row(2).frame_sign = -1;

    flowfield_state& ff = flowfield();
    auto gas = std::make_unique<test_gas_t>();
    gas_in_use = gas.get();
    ff.gas = std::move(gas);
    ff.boco.rpm = rpm;
    for (array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct}) a->resize(nq, ns);
    for (int i = 1; i <= nq; ++i) {
        for (int j = 1; j <= ns; ++j) {
            m.z(i, j) = val_z(i, j);
            m.r(i, j) = val_r(i, j);
            ff.p(i, j) = val_p(i, j);
            ff.t(i, j) = val_t(i, j);
            ff.rho(i, j) = val_rho(i, j);
            ff.s(i, j) = val_s(i, j);
            ff.htot(i, j) = val_htot(i, j);
            ff.cm(i, j) = val_cm(i, j);
            ff.ct(i, j) = val_ct(i, j);
        }
    }
}

double e_ptot(int i, int j) { return test_gas_t::p_hs(val_htot(i, j), val_s(i, j)); }
double e_ttot(int i, int j) { return test_gas_t::T_ps(e_ptot(i, j), val_s(i, j)); }

// The variables in their order; `value` gives those that the state or the test gas fix exactly,
// nullptr marks the four that involve the relative frame or the kinetic energy (checked below).
struct variable {
    const char* name;
    double (*value)(int, int);
};

const variable variables[15] = {
    {"z", val_z},         {"r", val_r},       {"p", val_p},     {"pTot", e_ptot},  {"pTotRel", nullptr},
    {"T", val_t},         {"Ttot", e_ttot},   {"rho", val_rho}, {"S", val_s},      {"h", nullptr},
    {"Htot", val_htot},   {"HtotRel", nullptr}, {"Cm", val_cm}, {"Ct", val_ct},    {"Wt", nullptr},
};

// The next variable of the file, which must be the real (n1 x n2) matrix `name`: its values in
// column-major order, or nothing (with a failure recorded) when it is not.
std::vector<double> read_next_matrix(mat_t* mat, const char* name, int n1, int n2) {
    matvar_t* var = Mat_VarReadNext(mat);
    if (var == nullptr) {
        ADD_FAILURE() << "no variable " << name;
        return {};
    }
    std::vector<double> values;
    EXPECT_STREQ(var->name, name);
    EXPECT_EQ(var->class_type, MAT_C_DOUBLE);
    EXPECT_EQ(var->isComplex, 0);
    if (var->rank == 2 && var->dims[0] == static_cast<std::size_t>(n1) && var->dims[1] == static_cast<std::size_t>(n2)) {
        const auto* data = static_cast<const double*>(var->data);
        values.assign(data, data + n1 * n2);
    } else {
        ADD_FAILURE() << name << " is not a " << n1 << " x " << n2 << " matrix";
    }
    Mat_VarFree(var);
    return values;
}

// All 15 variables of a results file, in the order of `variables`, by name.
using saved_file = std::map<std::string, std::vector<double>>;

saved_file read_results(const fs::path& path, int n1, int n2) {
    saved_file file;
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    if (mat == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return file;
    }
    for (const variable& v : variables) file[v.name] = read_next_matrix(mat, v.name, n1, n2);
    EXPECT_EQ(Mat_VarReadNextInfo(mat), nullptr);
    Mat_Close(mat);
    return file;
}

// The derived variables as the definitions relate them to the others, at every point: the
// static enthalpy is the total one less the kinetic energy, the relative total enthalpy the
// rothalpy-like Htot - Ct^2 / 2 + Wt^2 / 2, and the relative total pressure the gas's pressure
// at that enthalpy and the entropy.
void expect_derived_relations(const saved_file& f, const thermo_t& gas, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const double Htot = f.at("Htot")[k], Cm = f.at("Cm")[k], Ct = f.at("Ct")[k], Wt = f.at("Wt")[k];
        const double HtotRel = f.at("HtotRel")[k];
        EXPECT_NEAR(f.at("h")[k] + (Cm * Cm + Ct * Ct) / 2.0, Htot, 1e-12 * Htot) << k;
        EXPECT_NEAR(HtotRel - Wt * Wt / 2.0, Htot - Ct * Ct / 2.0, 1e-12 * Htot) << k;
        EXPECT_EQ(f.at("pTotRel")[k], gas.pressure_hs(HtotRel, f.at("S")[k])) << k;
    }
}

constexpr std::uintmax_t expected_size = 128 + 15 * (64 + 8 * nq * ns);

class ResultsTest : public ::testing::Test {
protected:
    void SetUp() override { set_up_state(); }

    // The job's save_results with the given job-file text; returns what it printed.
    static std::string save_with(const std::string& toml_text) {
        quorl_job_t job;
        job.table = parse_toml(toml_text);
        return quorl::test::captured_stdout([&] { job.save_results(); });
    }

    static std::string file_key(const fs::path& path) { return "[results]\nfile = '" + path.string() + "'\n"; }
};

TEST_F(ResultsTest, FileReadBackByMatio) {
    const fs::path path = fresh_dir("results_matio") / "flow.mat";
    EXPECT_EQ(save_with(file_key(path)), "");
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), expected_size);
    EXPECT_EQ(expected_size, 8288u);

    const std::string bytes = read_file(path);
    EXPECT_EQ(bytes.substr(0, 52), "MATLAB 5.0 MAT-file, Platform: LINUX64, Created on: ");
    EXPECT_EQ(bytes.substr(72, 44), " Quorl simulation results" + std::string(19, ' '));

    const saved_file f = read_results(path, nq, ns);
    for (const variable& v : variables) {
        SCOPED_TRACE(v.name);
        ASSERT_EQ(f.at(v.name).size(), static_cast<std::size_t>(nq * ns));
        if (v.value == nullptr) continue;
        for (int j = 1; j <= ns; ++j)
            for (int i = 1; i <= nq; ++i)
                EXPECT_EQ(f.at(v.name)[static_cast<std::size_t>((i - 1) + (j - 1) * nq)], v.value(i, j))
                    << "(" << i << ", " << j << ")";
    }
    expect_derived_relations(f, *gas_in_use, static_cast<std::size_t>(nq * ns));

    // Wt by the row of each quasi-normal: Ct on the inlet and outlet lines, -Ct on the stator
    // edges (frame_sign -1), Ct + U on the rotor edges (frame_sign +1), U = omega r with
    // omega = 2 pi 3000 / 60 = 100 pi rad/s.
    for (int j = 1; j <= ns; ++j) {
        for (int i = 1; i <= nq; ++i) {
            const auto k = static_cast<std::size_t>((i - 1) + (j - 1) * nq);
            const double Wt = f.at("Wt")[k], Ct = val_ct(i, j);
            if (i == 2 || i == 3) {
                EXPECT_NEAR((Wt - Ct) / val_r(i, j), 100.0 * pi, 1e-12) << i << ", " << j;
            } else {
                EXPECT_EQ(Wt, i == 4 || i == 5 ? -Ct : Ct) << i << ", " << j;
            }
        }
    }

    // A point of each kind, worked out by hand (Python floats for the blade speed): e.g. at
    // (2, 10) cm = 161, ct = 30, r = 0.4002, htot = 302100, s = 103: Wt = 30 + 100 pi 0.4002,
    // h = 302100 - (161^2 + 30^2) / 2 = 288689.5, HtotRel = htot + (Wt^2 - ct^2) / 2,
    // pTotRel = 2 HtotRel - 100 s (the test gas).
    struct point {
        int i, j;
        double Wt, h, HtotRel, pTotRel;
    };
    const point points[] = {
        {1, 1, 19.0, 289353.375, 301010.0, 591910.0},
        {2, 10, 155.72653799666352, 288689.5, 313775.37731821317, 617250.7546364263},
        {3, 5, 165.04999065525044, 289291.375, 315158.2497076491, 619966.4994152982},
        {4, 3, -77.0, 289053.0, 304030.0, 597630.0},
        {6, 10, 110.0, 286765.5, 306100.0, 601500.0},
    };
    for (const point& q : points) {
        SCOPED_TRACE(testing::Message() << "(" << q.i << ", " << q.j << ")");
        const auto k = static_cast<std::size_t>((q.i - 1) + (q.j - 1) * nq);
        EXPECT_NEAR(f.at("Wt")[k], q.Wt, 1e-12 * std::fabs(q.Wt));
        EXPECT_NEAR(f.at("h")[k], q.h, 1e-12 * q.h);
        EXPECT_NEAR(f.at("HtotRel")[k], q.HtotRel, 1e-12 * q.HtotRel);
        EXPECT_NEAR(f.at("pTotRel")[k], q.pTotRel, 1e-12 * q.pTotRel);
    }
}

TEST_F(ResultsTest, RelativeEqualsAbsoluteOutsideRotatingRows) {
    const fs::path path = fresh_dir("results_relative") / "flow.mat";
    save_with(file_key(path));
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    auto read = [&](const char* name) {
        matvar_t* v = Mat_VarRead(mat, name);
        EXPECT_NE(v, nullptr);
        std::vector<double> out(static_cast<const double*>(v->data), static_cast<const double*>(v->data) + nq * ns);
        Mat_VarFree(v);
        return out;
    };
    const auto Htot = read("Htot"), HtotRel = read("HtotRel"), pTot = read("pTot"), pTotRel = read("pTotRel");
    const auto Ct = read("Ct"), Wt = read("Wt");
    Mat_Close(mat);
    for (int j = 1; j <= ns; ++j) {
        for (int i : {1, 4, 5, 6}) {  // inlet, stator edges (Wt = -Ct), outlet
            const auto k = static_cast<std::size_t>((i - 1) + (j - 1) * nq);
            EXPECT_DOUBLE_EQ(HtotRel[k], Htot[k]);
            EXPECT_DOUBLE_EQ(pTotRel[k], pTot[k]);
            EXPECT_EQ(std::abs(Wt[k]), std::abs(Ct[k]));
        }
        for (int i : {2, 3}) {  // rotor edges: relative total enthalpy differs
            const auto k = static_cast<std::size_t>((i - 1) + (j - 1) * nq);
            EXPECT_GT(HtotRel[k], Htot[k]);
        }
    }
}

TEST_F(ResultsTest, ReplacesOlderLargerFile) {
    const fs::path path = fresh_dir("results_replace") / "flow.mat";
    write_file(path, std::string(20000, 'x'));
    save_with(file_key(path));
    EXPECT_EQ(fs::file_size(path), expected_size);
    save_with(file_key(path));
    EXPECT_EQ(fs::file_size(path), expected_size);
}

TEST_F(ResultsTest, MissingTableOrFileKey) {
    struct row {
        std::string toml;
        std::string printed;
    };
    const std::string warning = " WARNING: didn't found [results] section!\n";
    const row rows[] = {
        {"", warning},
        {"results = 3\n", warning},
        {"[reports]\nfile = 'out.mat'\n", warning},
        {"[results]\n", ""},
        {"[results]\nfile = 5\n", ""},
        {"[results]\nfile = ['out.mat']\n", ""},
        {"[results]\nFile = 'out.mat'\n", ""},
    };
    const fs::path dir = fresh_dir("results_missing");
    const fs::path old_cwd = fs::current_path();
    fs::current_path(dir);
    for (const row& r : rows) {
        SCOPED_TRACE(r.toml);
        EXPECT_EQ(save_with(r.toml), r.printed);
        EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator{}), 0);
    }
    fs::current_path(old_cwd);
}

TEST_F(ResultsTest, GasCallsPointByPointInTheGivenOrder) {
    // Quasi-normals outer, streamlines inner; at each point pTot, then Ttot from it, then pTotRel.
    const fs::path path = fresh_dir("results_call_order") / "flow.mat";
    save_with(file_key(path));
    const std::vector<double> HtotRel = read_results(path, nq, ns).at("HtotRel");
    const auto& calls = gas_in_use->calls;
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(3 * nq * ns));
    std::size_t k = 0;
    for (int i = 1; i <= nq; ++i) {
        for (int j = 1; j <= ns; ++j, k += 3) {
            SCOPED_TRACE(testing::Message() << "(" << i << ", " << j << ")");
            for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(calls[k + c].s, val_s(i, j));
            EXPECT_EQ(calls[k].what, 'p');
            EXPECT_EQ(calls[k].first, val_htot(i, j));
            EXPECT_EQ(calls[k + 1].what, 'T');
            EXPECT_EQ(calls[k + 1].first, e_ptot(i, j));
            EXPECT_EQ(calls[k + 2].what, 'p');
            EXPECT_EQ(calls[k + 2].first, HtotRel[static_cast<std::size_t>((i - 1) + (j - 1) * nq)]);
        }
    }
}

TEST_F(ResultsTest, GasErrorLeavesNoFile) {
    const fs::path path = fresh_dir("results_gas_error") / "flow.mat";
    gas_in_use->fail = true;
    EXPECT_STOP(save_with(file_key(path)), "test gas: pressure_hs failed");
    EXPECT_FALSE(fs::exists(path));
}

// The example compressor stage without report and figures, saving its flow field to `file`.
std::string stage_job(const std::string& file) {
    toml::table job = parse_toml(read_file(quorl::test::source_path("examples/compressor_stage.toml")));
    job.erase("reports");
    job.erase("plots");
    job.insert_or_assign("results", toml::table{{"file", file}});
    std::ostringstream text;
    text << job;
    return text.str();
}

TEST(ResultsOfTheProgram, FileHoldsTheFinalFlowFieldAsLibmatioReadsIt) {
    const fs::path dir = fresh_dir("results_program");
    write_file(dir / "job.toml", stage_job("flow.mat"));
    const auto run = quorl::test::run_quorl({"-i", "job.toml"}, dir);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(" Quorl finished successfully\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");

    // The same job run here leaves the state that the program saved.
    quorl_job_t job;
    job.table = parse_toml(read_file(dir / "job.toml"));
    quorl::test::captured_stdout([&] {
        job.init();
        job.run();
    });
    const mesh_state& m = mesh();
    const flowfield_state& ff = flowfield();
    const thermo_t& gas = *ff.gas;
    const int n1 = m.number_of_quasinormals;
    const int n2 = m.number_of_streamlines;
    ASSERT_GE(n1, 4);  // a stage: at least one row between the inlet and outlet lines
    ASSERT_GE(n2, 3);
    EXPECT_EQ(fs::file_size(dir / "flow.mat"), static_cast<std::uintmax_t>(128 + 15 * (64 + 8 * n1 * n2)));

    // What the file holds of the state itself, and what the gas model and the flow field's own
    // relative swirl give from it; the rest follows from these by the definitions.
    using point_value = std::function<double(int, int)>;
    const auto of = [](const array2d& a) -> point_value { return [&a](int i, int j) { return a(i, j); }; };
    const point_value p_tot = [&](int i, int j) { return gas.pressure_hs(ff.htot(i, j), ff.s(i, j)); };
    const std::map<std::string, point_value> state = {
        {"z", of(m.z)},     {"r", of(m.r)},       {"p", of(ff.p)},   {"pTot", p_tot},
        {"T", of(ff.t)},    {"Ttot", [&](int i, int j) { return gas.temperature_ps(p_tot(i, j), ff.s(i, j)); }},
        {"rho", of(ff.rho)}, {"S", of(ff.s)},     {"Htot", of(ff.htot)}, {"Cm", of(ff.cm)},
        {"Ct", of(ff.ct)},  {"Wt", [](int i, int j) { return wt(i, j); }},
    };

    const fs::path file = dir / "flow.mat";
    mat_t* mat = Mat_Open(file.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(Mat_GetVersion(mat), MAT_FT_MAT5);
    EXPECT_EQ(std::string(Mat_GetHeader(mat)).rfind("MATLAB 5.0 MAT-file, Platform: LINUX64, Created on: ", 0), 0u);
    Mat_Close(mat);
    const saved_file f = read_results(file, n1, n2);
    for (const auto& [name, data] : f) {
        SCOPED_TRACE(name);
        ASSERT_EQ(data.size(), static_cast<std::size_t>(n1 * n2));
        for (int j = 1; j <= n2; ++j) {
            for (int i = 1; i <= n1; ++i) {
                const double got = data[static_cast<std::size_t>((i - 1) + (j - 1) * n1)];
                EXPECT_TRUE(std::isfinite(got)) << "(" << i << ", " << j << ")";
                if (state.count(name)) {
                    EXPECT_EQ(got, state.at(name)(i, j)) << "(" << i << ", " << j << ")";
                }
            }
        }
    }
    expect_derived_relations(f, gas, static_cast<std::size_t>(n1 * n2));
}

TEST(ResultsOfTheProgram, FileThatCannotBeCreatedEndsTheRunWithStatusTwo) {
    const fs::path dir = fresh_dir("results_program_error");
    write_file(dir / "job.toml", stage_job("no_such_dir/flow.mat"));
    const auto run = quorl::test::run_quorl({"-i", "job.toml"}, dir);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "ERROR STOP matfile: cannot open file 'no_such_dir/flow.mat' for writing\n");
    EXPECT_EQ(run.out.find("Quorl finished successfully"), std::string::npos) << run.out;
}

TEST_F(ResultsTest, FileErrorsHaveStatusTwo) {
    const std::string missing = (fresh_dir("results_file_error") / "no_such_dir" / "flow.mat").string();
    EXPECT_STOP_STATUS(save_flowfield(missing), "matfile: cannot open file '" + missing + "' for writing", 2);
    if (fs::exists("/dev/full"))
        EXPECT_STOP_STATUS(save_flowfield("/dev/full"), "matfile: cannot write file '/dev/full'", 2);
}

}  // namespace

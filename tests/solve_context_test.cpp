// A solve of a blade row's trailing edge works out once what its trials cannot change (the
// performance model's solve context, the outlet blade angles) and asks that in every trial. For
// any flow state of the trailing edge, as the trials of a root search leave it, the answers must
// be those of the model and of exit_flow_angle to the last bit, and they must follow that state.

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flowfield.hpp"
#include "machine.hpp"
#include "mesh.hpp"
#include "quorl.hpp"
#include "quorl_equilibrium.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// A change of the trailing edge's flow state, as a trial of the root search makes one.
struct trial {
    const char* what;
    double cm = 1.0;    // factor on cm
    double ct = 0.0;    // m/s added to ct
    double p = 1.0;     // factors on p, t and rho
    double t = 1.0;
    double rho = 1.0;
    double htot = 0.0;  // J/kg added to htot
    double s = 0.0;     // J/(kg K) added to s
};

const trial trials[] = {
    {"as solved"},
    {"slower", 0.7, -20.0, 1.05, 1.02, 1.03},
    {"faster", 1.3, 15.0, 0.95, 0.98, 0.97, 2000.0, 5.0},
    {"much faster, near sonic", 1.9, 40.0, 0.9, 0.97, 0.93, -3000.0, 10.0},
    {"past sonic", 4.0, 60.0, 0.5, 0.6, 0.6, -5000.0, 15.0},
};

void apply(const trial& c, const std::vector<double>& saved, int i2) {
    flowfield_state& ff = flowfield();
    const int n = mesh().number_of_streamlines;
    for (int j = 1; j <= n; ++j) {
        const auto base = [&](int a) { return saved[static_cast<std::size_t>(7 * (j - 1) + a)]; };
        ff.cm(i2, j) = base(0) * c.cm;
        ff.ct(i2, j) = base(1) + c.ct;
        ff.p(i2, j) = base(2) * c.p;
        ff.t(i2, j) = base(3) * c.t;
        ff.rho(i2, j) = base(4) * c.rho;
        ff.htot(i2, j) = base(5) + c.htot;
        ff.s(i2, j) = base(6) + c.s;
    }
}

std::vector<double> save(int i2) {
    const flowfield_state& ff = flowfield();
    std::vector<double> v;
    for (int j = 1; j <= mesh().number_of_streamlines; ++j)
        for (const array2d* a : {&ff.cm, &ff.ct, &ff.p, &ff.t, &ff.rho, &ff.htot, &ff.s}) v.push_back((*a)(i2, j));
    return v;
}

TEST(SolveContext, AnswersAsTheModelForEveryTrailingEdgeState) {
    struct job_case {
        const char* job;
        const char* models;
    };
    const job_case cases[] = {
        {"examples/compressor_stage_lieblein.toml", "Lieblein"},
        {"tests/golden/jobs/lieblein_supercritical.toml", "Lieblein, supercritical rotor"},
        {"examples/turbine_stage.toml", "Aungier"},
        {"examples/compressor_stage.toml", "const"},
    };
    for (const job_case& jc : cases) {
        SCOPED_TRACE(jc.job);
        quorl_job_t job;
        job.table = test::parse_toml(test::read_file(test::source_path(jc.job)));
        test::captured_stdout([&] {
            job.init();
            job.run();
        });
        const flowfield_state& ff = flowfield();
        const int n = mesh().number_of_streamlines;
        int deviations_moved = 0;
        int sonic_exits = 0;
        for (int k = 1; k <= machine().blade_row.size(); ++k) {
            const int i1 = 2 * k;
            const int i2 = i1 + 1;
            const blade_row_t& row = machine().blade_row(k);
            const performance_model_t& model = *row.performance_model;
            const std::unique_ptr<performance_context_t> context = model.solve_context(i1, i2);
            const row_exit_t exit(row, i2);
            const std::vector<double> saved = save(i2);
            std::vector<double> first;
            for (const trial& c : trials) {
                apply(c, saved, i2);
                for (int j = 1; j <= n; ++j) {
                    SCOPED_TRACE(testing::Message() << jc.models << ", row " << k << ", " << c.what << ", streamline " << j);
                    const double deviation = model.deviation(i1, i2, j);
                    const double loss = model.pressure_loss(i1, i2, j);
                    EXPECT_PRED2(same_bits, context->deviation(j), deviation);
                    EXPECT_PRED2(same_bits, context->pressure_loss(j), loss);
                    EXPECT_PRED2(same_bits, exit.flow_angle(j), exit_flow_angle(row, i2, j));
                    EXPECT_PRED2(same_bits, exit.pressure_loss(j), loss);
                    if (first.size() < static_cast<std::size_t>(n)) {
                        first.push_back(deviation);
                    } else if (!same_bits(deviation, first[static_cast<std::size_t>(j - 1)])) {
                        ++deviations_moved;
                    }
                    const double W2 = std::hypot(wt(i2, j), ff.cm(i2, j));
                    if (W2 >= ff.gas->sound_speed_pt(ff.p(i2, j), ff.t(i2, j))) ++sonic_exits;
                }
            }
            apply(trials[0], saved, i2);
        }
        // The models that read the trailing edge's flow must follow it.
        if (std::string(jc.models) != "const") {
            EXPECT_GT(deviations_moved, 0);
        }
        // The Aungier model's supersonic deviation is among the states compared.
        if (std::string(jc.models) == "Aungier") {
            EXPECT_GT(sonic_exits, 0);
        }
    }
}

}  // namespace
}  // namespace quorl

#include "optimize.hpp"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorl {
namespace {

using dvec = std::vector<double>;

// A function of one real that records every point where it is evaluated.
struct recorder {
    double (*g)(double);
    dvec points;
    double operator()(double x) {
        points.push_back(x);
        return g(x);
    }
};

double minus_one(double x) { return x - 1.0; }
double minus_ten(double x) { return x - 10.0; }
double plus_ten(double x) { return x + 10.0; }
double no_root(double x) { return x * x + 1.0; }
double two(double x) { return x * x - 2.0; }

TEST(Bisect, ConvergenceAndLimit) {
    struct row {
        int maxiter;
        double expected;
        bool converged;
        int iterations;
    };
    for (const row& r : {row{100, 1.0000000000004547, true, 41}, row{10, 1.00048828125, false, 10},
                         row{0, 1.5, false, 0}}) {
        SCOPED_TRACE(r.maxiter);
        recorder f{minus_one, {}};
        solver_info_t info{true, -7};
        const double x = bisect(f, 0.0, 3.0, 2e-12, 1e-15, r.maxiter, &info);
        EXPECT_EQ(x, r.expected);
        EXPECT_EQ(info.converged, r.converged);
        EXPECT_EQ(info.iterations, r.iterations);
        ASSERT_EQ(f.points.size(), 2u + static_cast<std::size_t>(r.maxiter == 100 ? 41 : r.maxiter));
        EXPECT_EQ(f.points[0], 0.0);
        EXPECT_EQ(f.points[1], 3.0);
        if (r.converged) {
            EXPECT_EQ(f.points.back(), x);  // the last evaluation is at the root returned
        } else if (r.maxiter > 0) {
            EXPECT_NE(f.points.back(), x);  // the returned midpoint was never evaluated
        }
    }
    // The defaults are those of the first row.
    solver_info_t info;
    EXPECT_EQ(bisect(minus_one, 0.0, 3.0, 2e-12, 1e-15, 100, &info), bisect(minus_one, 3.0, 0.0 + 0.0));
    EXPECT_STOP(bisect(minus_one, 0.0, 3.0, 2e-12, 1e-15, 10), "bisect: maximum number of iterations exceeded");
    EXPECT_STOP(bisect(minus_one, 0.0, 3.0, 2e-12, 1e-15, 0), "bisect: maximum number of iterations exceeded");
    // A looser tolerance, as the loss models use.
    EXPECT_NEAR(bisect(minus_one, 0.0, 3.0, 1e-6), 1.0, 1e-6);
}

TEST(Bisect, NoSignChange) {
    recorder f{minus_one, {}};
    solver_info_t info{true, 5};
    EXPECT_EQ(bisect(f, 2.0, 3.0, 2e-12, 1e-15, 100, &info), 2.5);
    EXPECT_FALSE(info.converged);
    EXPECT_EQ(info.iterations, 0);
    EXPECT_EQ(f.points, (dvec{2.0, 3.0}));
    EXPECT_STOP(bisect(minus_one, 2.0, 3.0), "bisect: f(a) and f(b) must have opposite signs");
}

TEST(Bisect, ExactZeroStaysInsideTheBracket) {
    // The first midpoint of [0, 2] is the root itself; so is the end a of [1, 3] and of [1, 0].
    // The bracket then closes on the root: 1 -+ 2^-39 (a product of zero taken as positive
    // would close on b instead, 1.999999999998181 for [0, 2]).
    struct row {
        double a, b, expected;
        int iterations;
    };
    const double below = 0.99999999999818101;  // 1 - 2^-39
    const double above = 1.000000000001819;    // 1 + 2^-39
    for (const row& r : {row{0.0, 2.0, below, 40}, row{2.0, 0.0, above, 40}, row{1.0, 3.0, above, 40},
                         row{0.0, 1.0, below, 39}, row{1.0, 0.0, below, 39}}) {
        solver_info_t info;
        const double x = bisect(minus_one, r.a, r.b, 2e-12, 1e-15, 100, &info);
        EXPECT_EQ(x, r.expected) << r.a << " " << r.b;
        EXPECT_TRUE(info.converged) << r.a << " " << r.b;
        EXPECT_EQ(info.iterations, r.iterations) << r.a << " " << r.b;
    }
    EXPECT_EQ(below, 1.0 - std::ldexp(1.0, -39));
    EXPECT_EQ(above, 1.0 + std::ldexp(1.0, -39));
}

// A NaN value is no sign-change failure, and a NaN product moves the end a.
TEST(Bisect, NaNValues) {
    const auto nan_at_zero = [](double x) { return x == 0.0 ? std::nan("") : x - 1.0; };
    solver_info_t info;
    EXPECT_EQ(bisect(nan_at_zero, 0.0, 3.0, 2e-12, 1e-15, 100, &info), 2.9999999999986358);
    EXPECT_TRUE(info.converged);
    EXPECT_EQ(info.iterations, 41);

    // While growing a bracket, a NaN at the lower end moves the upper end.
    recorder f{[](double x) { return x < 0.0 ? std::nan("") : x - 10.0; }, {}};
    root_scalar(f, {.x0 = 0.0, .info = &info});
    ASSERT_GT(f.points.size(), 3u);
    EXPECT_NEAR(f.points[2], 0.004, 1e-18);  // 0.001 + 1.5 * 0.002
}

TEST(Bisect, SinglePrecision) {
    const auto f = [](float x) { return x - 1.0f; };
    solver_info_t info;
    EXPECT_EQ(bisect_real32(f, 0.0f, 3.0f, 2e-12f, 1e-15f, 10, &info), 1.00048828125f);
    EXPECT_FALSE(info.converged);
    EXPECT_EQ(info.iterations, 10);
    // The default tolerances lie below the spacing of floats near the root: the bracket
    // closes on it but the test is never met.
    const float x = bisect_real32(f, 0.0f, 3.0f, 2e-12f, 1e-15f, 100, &info);
    EXPECT_FALSE(info.converged);
    EXPECT_EQ(info.iterations, 100);
    EXPECT_NEAR(x, 1.0f, 2e-7f);
    EXPECT_NEAR(bisect_real32(f, 0.0f, 3.0f, 1e-6f, 1e-15f, 100, &info), 1.0f, 1e-6f);
    EXPECT_TRUE(info.converged);
    EXPECT_EQ(bisect_real32(f, 2.0f, 3.0f, 2e-12f, 1e-15f, 100, &info), 2.5f);
    EXPECT_EQ(info.iterations, 0);
    EXPECT_STOP(bisect_real32(f, 2.0f, 3.0f), "bisect: f(a) and f(b) must have opposite signs");
    EXPECT_STOP(bisect_real32(f, 0.0f, 3.0f, 2e-12f, 1e-15f, 3), "bisect: maximum number of iterations exceeded");
}

TEST(Newton, StepsAndEvaluations) {
    const std::function<double(double)> derivative = [](double x) { return 2.0 * x; };
    solver_info_t info;
    recorder f{two, {}};
    EXPECT_EQ(newton(f, 1.0, derivative, 2e-12, 1e-15, 100, &info), 1.4142135623730951);
    EXPECT_TRUE(info.converged);
    EXPECT_EQ(info.iterations, 5);
    EXPECT_EQ(f.points.size(), 5u);
    EXPECT_EQ(f.points.front(), 1.0);

    recorder g{two, {}};
    const double root = newton(g, 1.0, {}, 2e-12, 1e-15, 100, &info);
    EXPECT_EQ(root, 1.4142135623730951);
    EXPECT_EQ(info.iterations, 6);
    ASSERT_EQ(g.points.size(), 18u);  // x + h, x, x in every step
    EXPECT_EQ(g.points[0], 1.0 + 1e-6);
    EXPECT_EQ(g.points[1], 1.0);
    EXPECT_EQ(g.points[2], 1.0);
    EXPECT_NE(g.points.back(), root);  // the last evaluation is at the iterate before the root
    EXPECT_EQ(g.points[16], g.points[17]);

    // A zero derivative at the start.
    recorder z{two, {}};
    EXPECT_EQ(newton(z, 0.0, derivative, 2e-12, 1e-15, 100, &info), 0.0);
    EXPECT_FALSE(info.converged);
    EXPECT_EQ(info.iterations, 100);
    EXPECT_TRUE(z.points.empty());
    EXPECT_STOP(newton(two, 0.0, derivative), "newton: maximum number of iterations exceeded");
    recorder none{two, {}};
    EXPECT_EQ(newton(none, 3.0, derivative, 2e-12, 1e-15, 0, &info), 3.0);
    EXPECT_TRUE(none.points.empty());
    EXPECT_EQ(info.iterations, 0);
    EXPECT_STOP(newton(two, 3.0, derivative, 2e-12, 1e-15, 2), "newton: maximum number of iterations exceeded");
}

TEST(RootScalar, GrowsTheBracketFromTheStartValue) {
    struct row {
        double (*g)(double);
        double moved_end;
        double expected;
    };
    for (const row& r : {row{minus_ten, 19.072486328125002, 10.000000000000586},
                         row{plus_ten, -19.072486328125002, -10.000000000000586}}) {
        recorder f{r.g, {}};
        solver_info_t info;
        const double x = root_scalar(f, {.x0 = 0.0, .info = &info});
        EXPECT_EQ(x, r.expected);
        EXPECT_TRUE(info.converged);
        EXPECT_EQ(info.iterations, 44);
        ASSERT_EQ(f.points.size(), 2u + 10u + 2u + 44u);
        EXPECT_EQ(f.points[0], -0.001);
        EXPECT_EQ(f.points[1], 0.001);
        // Only one end moves, by 1.5 times the width each time: the other stays at -+0.001 and
        // the width grows from 0.002 by 2.5 per move, so the k-th move reaches
        // +-(0.002 * 2.5^k - 0.001): 0.004, 0.0115, 0.03025, ..., 19.072486328125.
        const double sign = r.moved_end > 0 ? 1.0 : -1.0;
        for (std::size_t k = 1; k <= 10; ++k) {
            const double reached = sign * (0.002 * std::pow(2.5, static_cast<double>(k)) - 0.001);
            EXPECT_NEAR(f.points[k + 1], reached, 1e-15 * std::fabs(reached) + 1e-18) << "move " << k;
        }
        EXPECT_EQ(f.points[11], r.moved_end);
        // bisect evaluates both ends of the final bracket again, then the midpoints.
        EXPECT_EQ(f.points[12], r.moved_end > 0 ? -0.001 : r.moved_end);
        EXPECT_EQ(f.points[13], r.moved_end > 0 ? r.moved_end : 0.001);
        EXPECT_EQ(f.points.back(), x);
    }
}

TEST(RootScalar, NoRootAfterFiftyMoves) {
    recorder f{no_root, {}};
    solver_info_t info{true, 3};
    const double x = root_scalar(f, {.x0 = 0.0, .info = &info});
    EXPECT_FALSE(info.converged);
    EXPECT_EQ(info.iterations, 0);
    ASSERT_EQ(f.points.size(), 2u + 50u + 2u);
    EXPECT_GT(f.points[2], 0.001);  // the tie moves the upper end
    const double lo = f.points[52];
    const double hi = f.points[53];
    EXPECT_EQ(x, 0.5 * (lo + hi));
    EXPECT_EQ(f.points.back(), hi);
    EXPECT_STOP(root_scalar(no_root, {.x0 = 0.0}), "bisect: f(a) and f(b) must have opposite signs");
}

TEST(RootScalar, MethodsAndArguments) {
    // A given bracket: x0 is not used, the evaluations are bisect's.
    recorder f{minus_one, {}};
    recorder g{minus_one, {}};
    solver_info_t info;
    EXPECT_EQ(root_scalar(f, {.x0 = 50.0, .a = 0.0, .b = 3.0, .info = &info}), bisect(g, 0.0, 3.0));
    EXPECT_EQ(f.points, g.points);
    EXPECT_EQ(info.iterations, 41);
    EXPECT_NEAR(root_scalar(minus_one, {.a = 0.0, .b = 3.0, .xtol = 1e-3}), 1.0, 1e-3);
    // A single end is ignored. (With the sanitizers, GCC takes the absent end for an
    // uninitialised read on the path that is never taken.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    EXPECT_EQ(root_scalar(minus_ten, {.x0 = 0.0, .a = 5.0}), 10.000000000000586);
#pragma GCC diagnostic pop

    EXPECT_EQ(root_scalar(two, {.x0 = 1.0, .fprime = [](double x) { return 2.0 * x; }, .method = "newton"}),
              1.4142135623730951);
    EXPECT_EQ(root_scalar(two, {.x0 = 1.0, .method = "newton  "}), 1.4142135623730951);
    EXPECT_EQ(root_scalar(minus_one, {.a = 0.0, .b = 3.0, .method = "bisect "}), 1.0000000000004547);

    EXPECT_STOP(root_scalar(two, {.method = "newton", .info = &info}),
                "root_scalar: x0 must be present for Newton's method");
    EXPECT_STOP(root_scalar(two, {.a = 1.0, .info = &info}), "root_scalar: either x0 or (a,b) must be present");
    EXPECT_STOP(root_scalar(two, {.x0 = 1.0, .method = "Bisect", .info = &info}), "root_scalar: unknown method");
    EXPECT_STOP(root_scalar(two, {.x0 = 1.0, .method = "brentq"}), "root_scalar: unknown method");
}

}  // namespace
}  // namespace quorl

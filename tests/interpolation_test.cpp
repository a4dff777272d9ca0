#include "interpolation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorl {
namespace {

using dvec = std::vector<double>;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A c x n table from its columns.
array2d table(const std::vector<dvec>& columns) {
    const int c = static_cast<int>(columns.front().size());
    array2d y(c, static_cast<int>(columns.size()));
    for (int j = 1; j <= y.size2(); ++j)
        for (int i = 1; i <= c; ++i) y(i, j) = columns[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)];
    return y;
}

struct exact_case {
    const char* method;
    dvec x;
    dvec y;
    double xi;
    double expected;
};

// Values that follow from the formulas without rounding.
TEST(Interp1, ExactValuesAtNodesAndBeyond) {
    const dvec x{0.0, 1.0, 2.5, 4.0};
    const dvec y{1.0, 3.0, 2.0, 5.0};
    const std::vector<exact_case> cases{
        {"linear", x, y, 0.0, 1.0},   {"pchip", x, y, 0.0, 1.0},            // first node
        {"linear", x, y, 1.0, 3.0},   {"pchip", x, y, 1.0, 3.0},            // inner node: t = 0 on the right
        {"linear", x, y, 2.5, 2.0},   {"pchip", x, y, 2.5, 2.0},
        {"linear", x, y, 4.0, 5.0},   {"pchip", x, y, 4.0, 5.0},            // last node, t = 1
        {"linear", x, y, 0.5, 2.0},                                          // midpoint of a segment
        // Two abscissae: pchip is the straight line, also beyond the table.
        {"pchip", {0.0, 2.0}, {1.0, 5.0}, 1.0, 3.0},
        {"pchip", {0.0, 2.0}, {1.0, 5.0}, 3.0, 7.0},
        {"pchip", {0.0, 2.0}, {1.0, 5.0}, -1.0, -1.0},
        // Beyond the last node pchip continues the end cubic (slopes 1.5 at x = 1, the secant 3 at x = 2).
        {"pchip", {0.0, 1.0, 2.0}, {0.0, 1.0, 4.0}, 3.0, 4.0},
        {"linear", {0.0, 1.0, 2.0}, {0.0, 1.0, 4.0}, 3.0, 7.0},
        // Equal ordinates on an interval: slope 0 at both of its nodes, the interpolant is constant.
        {"pchip", {0.0, 1.0, 2.0, 3.0}, {0.0, 2.0, 2.0, 5.0}, 1.5, 2.0},
        // Repeated abscissae 0, 1, 1, 2: a point at 1 takes the interval from the second 1.
        {"linear", {0.0, 1.0, 1.0, 2.0}, {0.0, 1.0, 2.0, 3.0}, 1.0, 2.0},
        {"pchip", {0.0, 1.0, 1.0, 2.0}, {0.0, 1.0, 2.0, 3.0}, 1.0, 2.0},
        {"linear", {0.0, 1.0, 1.0, 2.0}, {0.0, 1.0, 2.0, 3.0}, 0.75, 0.75},
        {"pchip", {0.0, 1.0, 1.0, 2.0}, {0.0, 1.0, 2.0, 3.0}, 0.5, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " at " + std::to_string(c.xi));
        EXPECT_EQ(interp1_rank00(c.x, c.y, c.xi, c.method, "extrap"), c.expected);
    }
}

TEST(Interp1, PchipSlopesAtInnerNodesAreWeightedHarmonicMeans) {
    // Intervals whose two nodes are both inner: independent reference values of the
    // Fritsch-Carlson interpolant.
    const dvec x{0.0, 0.5, 1.5, 3.0, 3.5};
    const dvec y{1.0, 2.0, 1.5, 4.0, 4.2};
    const std::vector<std::pair<double, double>> reference{
        {0.7, 1.948}, {1.0, 1.75}, {2.2, 2.5232014453477873}, {2.9, 3.9171562782294496}};
    for (const auto& [xi, expected] : reference) EXPECT_NEAR(interp1_rank00(x, y, xi, "pchip"), expected, 1e-14);

    // A local maximum at x = 0.5 gives slope 0 there: the curve is flat on both sides.
    const double h = 1e-4;
    EXPECT_NEAR(interp1_rank00(x, y, 0.5 + h, "pchip"), 2.0, 1e-7);
    EXPECT_NEAR(interp1_rank00(x, y, 0.5 - h, "pchip"), 2.0, 1e-7);
    EXPECT_LT(interp1_rank00(x, y, 0.5 + h, "pchip"), 2.0);

    // A point's value uses the nodes k - 1 to k + 2 of its interval k and nothing further away,
    // whatever the other query points of the call.
    dvec far_x = x;
    dvec far_y = y;
    far_x[0] = -7.0;   // two nodes left of the interval (1.5, 3)
    far_y[0] = 50.0;
    const dvec xi{2.2, 0.7, 3.4};
    const dvec near = interp1(x, y, xi, "pchip");
    EXPECT_EQ(interp1(far_x, far_y, xi, "pchip")[0], near[0]);
    EXPECT_EQ(interp1(x, y, 2.2, "pchip"), near[0]);
    far_y = y;
    far_y[4] = -9.0;  // two nodes right of the interval (0.5, 1.5)
    EXPECT_EQ(interp1(x, far_y, xi, "pchip")[1], near[1]);

    // A NaN secant next to the interval is no sign change: it enters the slope formula, so the
    // neighbouring interval turns NaN, while an interval two nodes away does not.
    const dvec with_nan{nan, 2.0, 1.5, 4.0, 4.2};
    EXPECT_TRUE(std::isnan(interp1(x, with_nan, 1.0, "pchip")));
    EXPECT_EQ(interp1(x, with_nan, 2.2, "pchip"), interp1(x, y, 2.2, "pchip"));
}

// Both end intervals, inside the table and beyond it, and the inner intervals around a flat
// interval and a local minimum, against a cubic Hermite evaluation outside this code: SciPy's
// PchipInterpolator gives the slopes at the inner nodes (the same weighted harmonic mean), the
// end nodes take their interval's secant, and CubicHermiteSpline evaluates:
//   x = [0, .4, 1, 1.3, 2.2, 3, 3.1]; y = [2, 2.6, 2.9, 2.9, 1.5, .7, 1.1]
//   d = PchipInterpolator(x, y).derivative()(x); d[0] = 1.5; d[-1] = 4
//   CubicHermiteSpline(x, y, d)(xi)
TEST(Interp1, PchipMatchesAnIndependentHermiteEvaluation) {
    const dvec x{0.0, 0.4, 1.0, 1.3, 2.2, 3.0, 3.1};
    const dvec y{2.0, 2.6, 2.9, 2.9, 1.5, 0.7, 1.1};
    const std::vector<std::pair<double, double>> reference{
        {-0.3, 1.8351293103448278},  // the first interval's cubic continued
        {0.1, 2.1635775862068964},   {0.3, 2.4907327586206898},  // end slope 1.5 at x = 0
        {0.7, 2.808189655172414},    {1.15, 2.9},                {1.8, 2.2334707404379794},
        {2.6, 0.9787775891341257},   {3.05, 0.8499999999999989},  // end slope 4 at x = 3.1
        {3.4, -12.099999999999952},  // the last interval's cubic continued
    };
    for (const auto& [xi, expected] : reference) {
        SCOPED_TRACE(xi);
        EXPECT_NEAR(interp1_rank00(x, y, xi, "pchip", "extrap"), expected, 1e-14 * std::max(1.0, std::fabs(expected)));
    }
}

// Shape properties on a long non-uniform table: monotone data give a monotone interpolant that
// never leaves the range of its interval's ordinates; the interpolant has one slope at every
// node, seen from either side; the linear kernel reproduces a straight line, also beyond the table.
TEST(Interp1, PchipKeepsMonotonicityAndIsSmoothAtTheNodes) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    dvec x{0.013};
    dvec y{-3.0};
    for (int i = 0; i < 40; ++i) {
        x.push_back(x.back() + 0.05 + u(rng));
        y.push_back(y.back() + (i % 7 == 3 ? 0.0 : 10.0 * u(rng)));  // rising, with flat intervals
    }
    dvec xi;
    for (double q = x.front(); q <= x.back(); q += 0.003) xi.push_back(q);
    const dvec yi = interp1_rank01(x, y, xi, "pchip");
    const double bits = 1e-13;  // on a flat interval the cubic is constant up to the last bits
    for (std::size_t j = 1; j < yi.size(); ++j) EXPECT_GE(yi[j], yi[j - 1] - bits) << xi[j];
    for (std::size_t j = 0; j < xi.size(); ++j) {
        const auto k = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), xi[j]) - x.begin()) - 1;
        if (k + 1 >= x.size()) continue;
        EXPECT_GE(yi[j], y[k] - bits) << xi[j];
        EXPECT_LE(yi[j], y[k + 1] + bits) << xi[j];
    }

    // Data that rise and fall: the slope at each inner node from the left equals that from the
    // right (to the truncation error of the one-sided differences).
    dvec wavy(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) wavy[i] = std::sin(1.7 * x[i]) + 0.3 * u(rng);
    const double h = 1e-6;
    for (std::size_t i = 1; i + 1 < x.size(); ++i) {
        const double at = interp1_rank00(x, wavy, x[i], "pchip");
        const double left = (at - interp1_rank00(x, wavy, x[i] - h, "pchip")) / h;
        const double right = (interp1_rank00(x, wavy, x[i] + h, "pchip") - at) / h;
        EXPECT_NEAR(left, right, 1e-4 * (1.0 + std::fabs(right))) << "node " << i;
    }

    dvec line(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) line[i] = 0.75 * x[i] - 2.0;
    for (double q : {-1.0, 0.5, 7.77, x.back() + 3.0}) {
        EXPECT_NEAR(interp1_rank00(x, line, q, "linear", "extrap"), 0.75 * q - 2.0, 1e-13) << q;
        EXPECT_NEAR(interp1_rank00(x, line, q, "pchip", "extrap"), 0.75 * q - 2.0, 1e-11) << q;
    }
}

TEST(Interp1, OutOfRangeUnderNaNRule) {
    const dvec x{1.0, 2.0, 3.0};
    const array2d y = table({{10.0, -1.0}, {20.0, -2.0}, {40.0, -4.0}});
    const dvec xi{0.5, 1.5, 3.5, nan, 2.5};
    for (const char* method : {"linear", "pchip"}) {
        SCOPED_TRACE(method);
        const array2d yi = interp1_rank11(x, y, xi, method);  // default rule "NaN"
        ASSERT_EQ(yi.size1(), 2);
        ASSERT_EQ(yi.size2(), 5);
        for (int j : {1, 3, 4})
            for (int i = 1; i <= 2; ++i)
                EXPECT_EQ(std::bit_cast<std::uint64_t>(yi(i, j)), 0x7ff8000000000000ULL) << "column " << j;
        EXPECT_EQ(yi(1, 2), interp1_rank00(x, y.row(1), 1.5, method));
        EXPECT_EQ(yi(2, 5), interp1_rank00(x, y.row(2), 2.5, method));
        EXPECT_TRUE(std::isfinite(yi(1, 2)) && std::isfinite(yi(2, 5)));
    }
    // A NaN point gives NaN under "extrap" as well, through the arithmetic.
    EXPECT_TRUE(std::isnan(interp1_rank00(x, y.row(1), nan, "pchip", "extrap")));
    EXPECT_TRUE(std::isnan(interp1_rank00(x, y.row(1), nan, "linear", "extrap")));
}

TEST(Interp1, MethodAndRuleWords) {
    const dvec x{0.0, 1.0, 3.0, 4.0};
    const dvec y{0.0, 2.0, 1.0, 3.0};
    const dvec xi{-0.5, 0.3, 2.0, 3.7, 4.5};
    EXPECT_EQ(interp1_rank01(x, y, xi, "cubic", "extrap"), interp1_rank01(x, y, xi, "pchip", "extrap"));
    EXPECT_EQ(interp1_rank01(x, y, xi, "linear ", "extrap  "), interp1_rank01(x, y, xi, "linear", "extrap"));
    EXPECT_EQ(interp1_rank00(x, y, 2.0), interp1_rank00(x, y, 2.0, "linear", "NaN"));  // the defaults

    const char* method_message = "interp1 supports only method='linear', 'pchip', or 'cubic'";
    const char* rule_message = "interp1 supports only extrap='extrap' or 'NaN'";
    EXPECT_STOP(interp1_rank00(x, y, 1.0, "Linear"), method_message);
    EXPECT_STOP(interp1_rank00(x, y, 1.0, " pchip"), method_message);
    EXPECT_STOP(interp1_rank01(x, y, dvec{}, "spline"), method_message);  // even without query points
    EXPECT_STOP(interp1_rank11(x, table({{0.0}, {1.0}, {2.0}, {3.0}}), dvec{}, "PCHIP"), method_message);

    // A wrong rule goes unnoticed while every point is in range.
    EXPECT_EQ(interp1_rank00(x, y, 2.0, "pchip", "Extrap"), interp1_rank00(x, y, 2.0, "pchip", "NaN"));
    EXPECT_STOP(interp1_rank01(x, y, dvec{1.0, 5.0}, "pchip", "Extrap"), rule_message);
    EXPECT_STOP(interp1_rank00(x, y, nan, "linear", "nan"), rule_message);
    EXPECT_STOP(interp1_rank10(x, table({{0.0}, {1.0}, {2.0}, {3.0}}), -1.0, "linear", ""), rule_message);
}

TEST(Interp1, TooSmallTablesAreRefused) {
    EXPECT_STOP(interp1_rank00(dvec{1.0}, dvec{2.0}, 1.0), "interp1 requires at least 2 abscissae");
    EXPECT_STOP(interp1_rank01(dvec{}, dvec{}, dvec{1.0}, "pchip"), "interp1 requires at least 2 abscissae");
    EXPECT_STOP(interp1_rank00(dvec{1.0, 2.0, 3.0}, dvec{2.0, 3.0}, 1.0),
                "interp1 requires an ordinate for every abscissa");
    EXPECT_STOP(create_interp1_t(dvec{1.0, 2.0, 3.0}, dvec{2.0, 3.0}), "interp1 requires an ordinate for every abscissa");
    // A zero-width end interval divides by zero without reading outside the table.
    EXPECT_FALSE(std::isfinite(interp1_rank00(dvec{0.0, 1.0, 1.0}, dvec{0.0, 1.0, 2.0}, 2.0, "linear", "extrap")));
    EXPECT_FALSE(std::isfinite(interp1_rank00(dvec{0.0, 0.0, 1.0}, dvec{0.0, 1.0, 2.0}, -1.0, "pchip", "extrap")));
}

std::vector<std::uint64_t> bits(const dvec& v) {
    std::vector<std::uint64_t> b;
    for (double d : v) b.push_back(std::bit_cast<std::uint64_t>(d));
    return b;
}

// Every form and the one-point evaluation agree bit for bit with the dispatch path.
TEST(Interp1, AllFormsAgreeWithDispatch) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {2, 3, 5, 9}) {
        dvec x(static_cast<std::size_t>(n));
        double pos = u(rng);
        for (auto& v : x) v = (pos += 0.1 + std::fabs(u(rng)));
        const int c = 3;
        array2d y(c, n);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= c; ++i) y(i, j) = u(rng) * 10.0;
        dvec xi;
        for (int j = 0; j < 40; ++j) xi.push_back(x.front() - 0.5 + (x.back() - x.front() + 1.0) * (u(rng) + 1.0) * 0.5);
        xi.push_back(x.front());
        xi.push_back(x.back());
        for (const char* method : {"linear", "pchip"}) {
            for (const char* rule : {"extrap", "NaN"}) {
                SCOPED_TRACE(std::string(method) + "/" + rule + " n=" + std::to_string(n));
                const array2d all = interp1_dispatch(x, y, xi, method, rule);
                const array2d kernel = std::string(method) == "linear" ? interpolate_linearly(x, y, xi, rule)
                                                                       : interpolate_pchip(x, y, xi, rule);
                EXPECT_EQ(bits(kernel.data()), bits(all.data()));
                const array2d rank11 = interp1_rank11(x, y, xi, method, rule);
                EXPECT_EQ(bits(rank11.data()), bits(all.data()));
                const dvec rank01 = interp1_rank01(x, y.row(2), xi, method, rule);
                for (int j = 1; j <= static_cast<int>(xi.size()); ++j) {
                    const double xj = xi[static_cast<std::size_t>(j - 1)];
                    double point[c];
                    interp1_point(x, y, xj, method, rule, point);
                    const dvec rank10 = interp1_rank10(x, y, xj, method, rule);
                    for (int i = 1; i <= c; ++i) {
                        EXPECT_EQ(std::bit_cast<std::uint64_t>(point[i - 1]), std::bit_cast<std::uint64_t>(all(i, j)));
                        EXPECT_EQ(std::bit_cast<std::uint64_t>(rank10[static_cast<std::size_t>(i - 1)]),
                                  std::bit_cast<std::uint64_t>(all(i, j)));
                    }
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(rank01[static_cast<std::size_t>(j - 1)]),
                              std::bit_cast<std::uint64_t>(all(2, j)));
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(interp1_rank00(x, y.row(2), xj, method, rule)),
                              std::bit_cast<std::uint64_t>(all(2, j)));
                }
            }
        }
    }
}

TEST(Interp1Table, CreateAndEvaluate) {
    const dvec x{0.0, 0.4, 1.1, 2.0};
    const dvec y{30.0, 35.0, 42.0, 44.0, 99.0};  // only the first n ordinates are taken
    const interp1_t t = create_interp1_t(x, y, "pchip", "extrap");
    EXPECT_EQ(t.x_data, x);
    EXPECT_EQ(t.y_data, (dvec{30.0, 35.0, 42.0, 44.0}));
    EXPECT_EQ(t.method, "pchip");
    EXPECT_EQ(t.extrap, "extrap");
    for (double xi : {-0.3, 0.0, 0.25, 1.1, 1.7, 2.0, 2.6})
        EXPECT_EQ(t.at(xi), interp1_rank00(x, vview(y).head(4), xi, "pchip", "extrap"));

    // A copy owns its data.
    interp1_t copy = t;
    copy.y_data[1] = 0.0;
    EXPECT_EQ(t.y_data[1], 35.0);

    const interp1_t plain = create_interp1_t(x, y);
    EXPECT_EQ(plain.method, "linear");
    EXPECT_EQ(plain.extrap, "NaN");
    EXPECT_TRUE(std::isnan(plain.at(3.0)));

    // Nothing is validated until the table is evaluated.
    const interp1_t wrong = create_interp1_t(x, y, "akima", "clamp");
    EXPECT_STOP(wrong.at(0.5), "interp1 supports only method='linear', 'pchip', or 'cubic'");
    EXPECT_STOP(interp1_t{}.at(0.5), "interp1 supports only method='linear', 'pchip', or 'cubic'");
}

// The words are resolved when the table is built; a wrong one still stops the run at the
// evaluation that needs it: the method at every evaluation, the rule at a point out of range.
TEST(Interp1Table, WrongWordsStopAtTheEvaluationThatNeedsThem) {
    const char* method_message = "interp1 supports only method='linear', 'pchip', or 'cubic'";
    const char* rule_message = "interp1 supports only extrap='extrap' or 'NaN'";
    const dvec x{0.0, 1.0, 3.0};
    const dvec y{1.0, 2.0, 0.5};
    struct word_case {
        const char* method;
        const char* rule;
        double xi;
        const char* message;  // nullptr: evaluated
    };
    const word_case cases[] = {
        {"akima", "extrap", 0.5, method_message},
        {"Linear", "clamp", -1.0, method_message},  // the method is checked first
        {"", "NaN", 0.5, method_message},
        {"pchip", "clamp", 0.5, nullptr},  // in range: the rule is not looked at
        {"pchip", "clamp", 3.0, nullptr},
        {"pchip", "clamp", 3.5, rule_message},
        {"linear", "nan", -0.5, rule_message},
        {"cubic", "Extrap", nan, rule_message},
        {"pchip ", "NaN  ", 3.5, nullptr},
        {"cubic", "extrap ", -0.5, nullptr},
    };
    for (const word_case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.method + "' '" + c.rule + "' at " + std::to_string(c.xi));
        const interp1_t t = create_interp1_t(x, y, c.method, c.rule);
        if (c.message) {
            EXPECT_STOP(t.at(c.xi), c.message);
            EXPECT_STOP(interp1_rank00(x, y, c.xi, c.method, c.rule), c.message);
        } else {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(t.at(c.xi)),
                      std::bit_cast<std::uint64_t>(interp1_rank00(x, y, c.xi, c.method, c.rule)));
        }
    }

    // A wrong method is reported before a table too small to evaluate.
    EXPECT_STOP(create_interp1_t(dvec{1.0}, dvec{2.0}, "spline").at(1.0), method_message);
    EXPECT_STOP(create_interp1_t(dvec{1.0}, dvec{2.0}, "pchip").at(1.0), "interp1 requires at least 2 abscissae");

    // Words assigned after the table was built take effect at once.
    interp1_t t = create_interp1_t(x, y, "pchip", "extrap");
    t.extrap = "NaN";
    EXPECT_TRUE(std::isnan(t.at(4.0)));
    t.extrap = "clamp";
    EXPECT_STOP(t.at(4.0), rule_message);
    t.method = "Pchip";
    EXPECT_STOP(t.at(0.5), method_message);
    t.method = "linear";
    t.extrap = "extrap";
    EXPECT_EQ(t.method, "linear");
    EXPECT_EQ(t.at(4.0), interp1_rank00(x, y, 4.0, "linear", "extrap"));
}

}  // namespace
}  // namespace quorl

#include "finite_differences.hpp"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorl {
namespace {

using dvec = std::vector<double>;

const dvec grid{0.3, 0.5, 1.25, 1.3, 2.0, 3.1, 3.15};

dvec values(const dvec& x, double (*f)(double)) {
    dvec v;
    for (double xi : x) v.push_back(f(xi));
    return v;
}

TEST(FiniteDifferences, QuadraticIsExact) {
    const dvec f = values(grid, [](double x) { return x * x; });
    const int n = static_cast<int>(grid.size());
    for (int i = 2; i <= n - 1; ++i) EXPECT_NEAR(diff_at_point_i(f, grid, i), 2.0 * grid[i - 1], 1e-13) << i;
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(diff2_at_point_i(f, grid, i), 2.0, 1e-12) << i;
    const double exact = (3.15 * 3.15 * 3.15 - 0.3 * 0.3 * 0.3) / 3.0;
    EXPECT_NEAR(integral(f, grid), exact, 1e-13);

    // A quadratic with all three terms, on three points: both intervals expanded about x(2).
    const dvec x3{1.0, 1.5, 3.0};
    const dvec q = values(x3, [](double x) { return 2.0 - 3.0 * x + 0.5 * x * x; });
    const auto Q = [](double x) { return 2.0 * x - 1.5 * x * x + x * x * x / 6.0; };
    EXPECT_NEAR(integral(q, x3), Q(3.0) - Q(1.0), 1e-14);
    dvec F(3, -1.0);
    primitive_function(F, q, x3);
    EXPECT_EQ(F[0], 0.0);
    EXPECT_NEAR(F[1], Q(1.5) - Q(1.0), 1e-14);
    EXPECT_EQ(F[2], integral(q, x3));
}

TEST(FiniteDifferences, ConstantAndPrimitiveFunction) {
    const dvec f(grid.size(), 2.5);
    EXPECT_NEAR(integral(f, grid), 2.5 * (3.15 - 0.3), 1e-14);
    for (int i = 1; i <= static_cast<int>(grid.size()); ++i) {
        EXPECT_EQ(diff_at_point_i(f, grid, i), 0.0);
        EXPECT_EQ(diff2_at_point_i(f, grid, i), 0.0);
    }
    // A smooth function on a fine non-uniform grid: third-order accurate.
    dvec fine;
    for (int i = 0; i <= 60; ++i) fine.push_back(0.3 + 2.85 * std::pow(i / 60.0, 1.3));
    const dvec g = values(fine, [](double x) { return std::sin(x); });
    dvec F(fine.size());
    primitive_function(F, g, fine);
    EXPECT_EQ(F.front(), 0.0);
    EXPECT_EQ(F.back(), integral(g, fine));  // to the last bit
    for (std::size_t i = 1; i < fine.size(); ++i) EXPECT_NEAR(F[i], std::cos(0.3) - std::cos(fine[i]), 2e-5);
}

TEST(FiniteDifferences, EndPointsAndSmallGrids) {
    const dvec f = values(grid, [](double x) { return x * x * x; });
    const int n = static_cast<int>(grid.size());
    // At the ends the one-sided difference: the chord slope of x^3 from a to b, a^2 + ab + b^2,
    // 0.09 + 0.15 + 0.25 from 0.3 to 0.5 and 9.61 + 9.765 + 9.9225 from 3.1 to 3.15.
    EXPECT_NEAR(diff_at_point_i(f, grid, 1), 0.49, 1e-14);
    EXPECT_NEAR(diff_at_point_i(f, grid, n), 29.2975, 1e-12);
    EXPECT_EQ(diff2_at_point_i(f, grid, 1), diff2_at_point_i(f, grid, 2));
    EXPECT_EQ(diff2_at_point_i(f, grid, -4), diff2_at_point_i(f, grid, 2));
    EXPECT_EQ(diff2_at_point_i(f, grid, n), diff2_at_point_i(f, grid, n - 1));
    EXPECT_EQ(diff2_at_point_i(f, grid, n + 3), diff2_at_point_i(f, grid, n - 1));
    EXPECT_EQ(diff_at_all_points(grid, f), (dvec{diff_at_point_i(f, grid, 1), diff_at_point_i(f, grid, 2),
                                                 diff_at_point_i(f, grid, 3), diff_at_point_i(f, grid, 4),
                                                 diff_at_point_i(f, grid, 5), diff_at_point_i(f, grid, 6),
                                                 diff_at_point_i(f, grid, 7)}));
    EXPECT_EQ(diff2_at_all_points(grid, f)[0], diff2_at_point_i(f, grid, 2));
    EXPECT_EQ(diff2_at_all_points(grid, f)[6], diff2_at_point_i(f, grid, 6));

    const dvec x2{1.0, 3.0};
    const dvec f2{2.0, 6.0};
    EXPECT_EQ(diff_at_point_i(f2, x2, 1), 2.0);
    EXPECT_EQ(diff_at_point_i(f2, x2, 2), 2.0);
    EXPECT_EQ(diff_at_point_i(f2, x2, 7), 2.0);  // with two points, whatever i
    EXPECT_EQ(diff_at_all_points(x2, f2), (dvec{2.0, 2.0}));

    const char* two = "finite_differences: x must have at least 2 elements";
    const char* three = "finite_differences: x must have at least 3 elements";
    EXPECT_STOP(diff_at_point_i(dvec{1.0}, dvec{1.0}, 1), two);
    EXPECT_STOP(diff2_at_point_i(f2, x2, 1), three);
    EXPECT_STOP(diff2_at_all_points(x2, f2), three);
    EXPECT_STOP(diff_at_all_points(dvec{}, dvec{1.0}), two);
    EXPECT_TRUE(diff2_at_all_points(x2, dvec{}).empty());  // nothing to compute, nothing refused
    EXPECT_STOP(integral(f2, x2), three);
    EXPECT_STOP(integral(dvec{1.0}, dvec{1.0}), two);
    EXPECT_STOP(integral(dvec{}, dvec{}), two);
    dvec F{7.0, 7.0};
    EXPECT_STOP(primitive_function(F, f2, x2), three);
    EXPECT_EQ(F[0], 0.0);
    dvec F1{7.0};
    EXPECT_STOP(primitive_function(F1, dvec{1.0}, dvec{1.0}), two);
}

// Values or indices that do not fit the grid are refused instead of read past the end.
TEST(FiniteDifferences, MismatchedSizesAreRefused) {
    const dvec x{0.0, 1.0, 2.0, 3.0};
    const dvec short_f{0.0, 1.0, 4.0};
    const char* values = "finite_differences: f must have at least as many elements as x";
    EXPECT_STOP(diff_at_point_i(short_f, x, 3), values);
    EXPECT_STOP(diff2_at_point_i(short_f, x, 3), values);
    EXPECT_STOP(integral(short_f, x), values);
    EXPECT_STOP(diff_at_all_points(x, short_f), values);
    dvec F(4);
    EXPECT_STOP(primitive_function(F, short_f, x), values);
    dvec short_F(3);
    EXPECT_STOP(primitive_function(short_F, dvec{0.0, 1.0, 4.0, 9.0}, x),
                "finite_differences: F must have at least as many elements as x");
    EXPECT_STOP(diff_at_all_points(vview(x).head(3), x), "finite_differences: f must not have more elements than x");
    EXPECT_STOP(diff2_at_all_points(vview(x).head(3), x), "finite_differences: f must not have more elements than x");
    for (int i : {0, 5})
        EXPECT_STOP(diff_at_point_i(x, x, i), "finite_differences: i must lie between 1 and the number of elements of x");
}

}  // namespace
}  // namespace quorl

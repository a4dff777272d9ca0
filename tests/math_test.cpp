#include "math.hpp"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace quorl {
namespace {

using dvec = std::vector<double>;

TEST(DegreeTrigonometry, ExactValues) {
    struct row {
        const char* name;
        double value;
        double expected;
    };
    const std::vector<row> rows{
        {"deg2rad(3)", deg2rad(3.0), 0.05235987755982988},
        {"rad2deg(0.1)", rad2deg(0.1), 5.729577951308232},
        {"sind(180)", sind(180.0), 1.2246467991473532e-16},
        {"cosd(90)", cosd(90.0), 6.123233995736766e-17},
        {"tand(45)", tand(45.0), std::tan(3.141592653589793 * 45.0 / 180.0)},
        {"atan2d(1, 1)", atan2d(1.0, 1.0), 45.0},
        {"atan2d(0, -1)", atan2d(0.0, -1.0), 180.0},
        {"atan2d(-1, 0)", atan2d(-1.0, 0.0), -90.0},
        {"acosd(-1)", acosd(-1.0), 180.0},
        {"asind(1)", asind(1.0), 90.0},
        {"atand(1)", atand(1.0), 45.0},
        {"sind(30)", sind(30.0), std::sin((3.141592653589793 * 30.0) / 180.0)},
    };
    for (const auto& r : rows) EXPECT_EQ(r.value, r.expected) << r.name;
    EXPECT_EQ(pi, 3.141592653589793);
}

TEST(DegreeTrigonometry, MultiplyThenDivide) {
    // Over many arguments the result is the two-step conversion, not the precomputed ratio.
    int ratio_differs = 0;
    for (int i = -720; i <= 720; ++i) {
        const double x = i * 0.37;
        EXPECT_EQ(deg2rad(x), (pi * x) / 180.0);
        EXPECT_EQ(rad2deg(x), (180.0 * x) / pi);
        EXPECT_EQ(cosd(x), std::cos((pi * x) / 180.0));
        if (deg2rad(x) != x * (pi / 180.0)) ++ratio_differs;
    }
    EXPECT_GT(ratio_differs, 0);
}

TEST(Linspace, EndsAreExact) {
    EXPECT_TRUE(linspace(0.0, 1.0, 0).empty());
    EXPECT_TRUE(linspace(0.0, 1.0, -3).empty());
    EXPECT_EQ(linspace(2.0, 5.0, 1), (dvec{5.0}));
    EXPECT_EQ(linspace(2.0, 5.0, 2), (dvec{2.0, 5.0}));
    EXPECT_EQ(linspace(0.0, 1.0, 5), (dvec{0.0, 0.25, 0.5, 0.75, 1.0}));
    const double a = 0.1;
    const double b = 0.7;
    const dvec v = linspace(a, b, 7);
    const double step = (b - a) / 6.0;
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v.front(), a);
    EXPECT_EQ(v.back(), b);
    for (int i = 2; i <= 6; ++i) EXPECT_EQ(v[i - 1], (i - 1) * step + a);
}

TEST(VectorHelpers, ProductsAndNorms) {
    const dvec a{1.0, 2.0, 3.0};
    const dvec b{-2.0, 0.5};
    const array2d m = outer_product(a, b);
    ASSERT_EQ(m.size1(), 3);
    ASSERT_EQ(m.size2(), 2);
    EXPECT_EQ(m(3, 1), -6.0);
    EXPECT_EQ(m(2, 2), 1.0);
    EXPECT_EQ(cross_product(dvec{1.0, 0.0, 0.0}, dvec{0.0, 1.0, 0.0}), (dvec{0.0, 0.0, 1.0}));
    EXPECT_EQ(cross_product(a, dvec{4.0, 5.0, 6.0}), (dvec{-3.0, 6.0, -3.0}));
    EXPECT_EQ(norm(dvec{3.0, 4.0}), 5.0);
    EXPECT_EQ(norm2(dvec{3.0, 4.0}), 25.0);
    EXPECT_EQ(norm(dvec{}), 0.0);
}

TEST(RampFunction, Pieces) {
    const ramp_function_t ramp = new_ramp_function_t(1.0, 2.0, 10.0, 20.0);
    const function1_t& f = ramp;
    EXPECT_EQ(f.at(0.5), 10.0);
    EXPECT_EQ(f.at(1.0), 10.0);  // at its start: the value before
    EXPECT_EQ(f.at(2.0), 15.0);
    EXPECT_EQ(f.at(3.0), 20.0);
    EXPECT_EQ(f.at(7.0), 20.0);
    EXPECT_TRUE(std::isnan(f.at(std::nan(""))));
}

}  // namespace
}  // namespace quorl

#include "math.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace quorl {
namespace {

using dvec = std::vector<double>;

// Literals from Python with pi = 3.141592653589793, each conversion a multiplication followed by
// a division, e.g. math.tan((pi * 45.0) / 180.0). The rows marked "ratio" give another last bit
// when multiplied by a precomputed pi / 180 or 180 / pi.
TEST(DegreeTrigonometry, ExactValues) {
    struct row {
        const char* name;
        double value;
        double expected;
    };
    const std::vector<row> rows{
        {"deg2rad(3)", deg2rad(3.0), 0.05235987755982988},         // ratio: ...989
        {"deg2rad(250)", deg2rad(250.0), 4.363323129985823},        // ratio: ...824
        {"deg2rad(-259)", deg2rad(-259.0), -4.520402762665313},     // ratio: ...314
        {"rad2deg(0.1)", rad2deg(0.1), 5.729577951308232},          // ratio: ...233
        {"rad2deg(-266.4)", rad2deg(-266.4), -15263.595662285128},  // ratio: ...13
        {"rad2deg(-260.85)", rad2deg(-260.85), -14945.604085987527},  // ratio: ...525
        {"sind(180)", sind(180.0), 1.2246467991473532e-16},
        {"cosd(90)", cosd(90.0), 6.123233995736766e-17},
        {"tand(45)", tand(45.0), 0.9999999999999999},
        {"cosd(60)", cosd(60.0), 0.5000000000000001},
        {"cosd(250)", cosd(250.0), -0.3420201433256694},   // ratio: -0.34202014332566855
        {"sind(-259)", sind(-259.0), 0.9816271834476639},  // ratio: 0.981627183447664
        {"tand(250)", tand(250.0), 2.7474774194546168},    // ratio: 2.7474774194546243
        {"atan2d(1, 1)", atan2d(1.0, 1.0), 45.0},
        {"atan2d(0, -1)", atan2d(0.0, -1.0), 180.0},
        {"atan2d(-1, 0)", atan2d(-1.0, 0.0), -90.0},
        {"acosd(-1)", acosd(-1.0), 180.0},
        {"asind(1)", asind(1.0), 90.0},
        {"atand(1)", atand(1.0), 45.0},
        {"sind(30)", sind(30.0), 0.49999999999999994},
    };
    for (const auto& r : rows) EXPECT_EQ(r.value, r.expected) << r.name;
    EXPECT_EQ(pi, 3.141592653589793);
}

// Over many arguments: the conversions invert each other, and the functions and their inverses
// agree with one another, in degrees.
TEST(DegreeTrigonometry, RoundTripsAndIdentities) {
    for (int i = -720; i <= 720; ++i) {
        const double x = i * 0.37;
        SCOPED_TRACE(x);
        EXPECT_NEAR(rad2deg(deg2rad(x)), x, 1e-13 * std::max(1.0, std::fabs(x)));
        EXPECT_NEAR(sind(x) * sind(x) + cosd(x) * cosd(x), 1.0, 1e-15);
        EXPECT_NEAR(atan2d(sind(x), cosd(x)), std::remainder(x, 360.0), 1e-12);
        if (std::fabs(x) < 90.0) {
            EXPECT_NEAR(asind(sind(x)), x, 1e-12);
            EXPECT_NEAR(atand(tand(x)), x, 1e-12);
            EXPECT_NEAR(acosd(cosd(x)), std::fabs(x), 1e-10);
        }
    }
}

TEST(Linspace, EndsAreExact) {
    EXPECT_TRUE(linspace(0.0, 1.0, 0).empty());
    EXPECT_TRUE(linspace(0.0, 1.0, -3).empty());
    EXPECT_EQ(linspace(2.0, 5.0, 1), (dvec{5.0}));
    EXPECT_EQ(linspace(2.0, 5.0, 2), (dvec{2.0, 5.0}));
    EXPECT_EQ(linspace(0.0, 1.0, 5), (dvec{0.0, 0.25, 0.5, 0.75, 1.0}));
    // 0.1 to 0.7 in steps of 0.1, both ends exactly as given.
    const dvec v = linspace(0.1, 0.7, 7);
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v.front(), 0.1);
    EXPECT_EQ(v.back(), 0.7);
    const dvec tenths{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};
    for (std::size_t i = 1; i + 1 < v.size(); ++i) EXPECT_NEAR(v[i], tenths[i], 2e-16) << i;
    // Descending and negative ranges alike.
    const dvec down = linspace(1.0, -2.0, 4);
    EXPECT_EQ(down.front(), 1.0);
    EXPECT_EQ(down.back(), -2.0);
    EXPECT_NEAR(down[1], 0.0, 1e-16);
    EXPECT_NEAR(down[2], -1.0, 1e-15);
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

#include "console.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

using quorl::console::format_A;
using quorl::console::format_F;
using quorl::console::format_I;
using quorl::console::format_real;
using quorl::console::record;

struct real_case {
    double value;
    const char* text;  // the 25 columns
};

TEST(Console, RealsTakeTwentyFiveColumnsInFixedOrExponentForm) {
    const double inf = std::numeric_limits<double>::infinity();
    const real_case cases[] = {
        {0.0, "   0.0000000000000000     "},
        {-0.0, "  -0.0000000000000000     "},
        {0.1, "  0.10000000000000001     "},
        {-0.1, " -0.10000000000000001     "},
        {std::nextafter(0.1, 0.0), "   9.9999999999999992E-002"},
        {1.0, "   1.0000000000000000     "},
        {-1.5, "  -1.5000000000000000     "},
        {101325.0, "   101325.00000000000     "},
        {1e16, "   10000000000000000.     "},
        {std::nextafter(1e17, 0.0), "   99999999999999984.     "},
        {1e17, "   1.0000000000000000E+017"},
        {-2.5e-5, "  -2.5000000000000001E-005"},
        {1e-300, "   1.0000000000000000E-300"},
        {-1.7976931348623157e308, "  -1.7976931348623157E+308"},
        {std::numeric_limits<double>::denorm_min(), "   4.9406564584124654E-324"},
        {std::numeric_limits<double>::quiet_NaN(), "                       NaN"},
        {inf, "                  Infinity"},
        {-inf, "                 -Infinity"},
    };
    for (const auto& c : cases) {
        // The record's leading blank plus the 25 columns.
        EXPECT_EQ(record({c.value}), c.text) << c.value;
        EXPECT_EQ(format_real(c.value).size(), 25u) << c.value;
    }
}

TEST(Console, RecordsSeparateItemsExceptBetweenTexts) {
    EXPECT_EQ(record({}), "");
    EXPECT_EQ(record({""}), " ");
    EXPECT_EQ(record({"Loading config file ", "a.toml", " ..."}), " Loading config file a.toml ...");
    EXPECT_EQ(record({"Inlet, mdot =", 10.0, "kg/s"}), " Inlet, mdot =   10.000000000000000      kg/s");
    EXPECT_EQ(record({"x", 1e-5, "Pa"}), " x   1.0000000000000001E-005 Pa");
    EXPECT_EQ(record({5}), "           5");
    EXPECT_EQ(record({"n =", -2147483647 - 1}), " n = -2147483648");
    EXPECT_EQ(record({"a", true, false, "b"}), " a T F b");
}

TEST(Console, FixedFormats) {
    EXPECT_EQ(format_A("Line", 8), "    Line");
    EXPECT_EQ(format_A("Htot (kJ/kg)", 12), "Htot (kJ/kg)");
    EXPECT_EQ(format_A("longer than eight", 8), "longer t");
    EXPECT_EQ(format_I(3, 6), "     3");
    EXPECT_EQ(format_I(-12345, 6), "-12345");
    EXPECT_EQ(format_I(1234567, 6), "******");

    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.5, "    0.500000"},
        {0.0, "    0.000000"},
        {-0.0000001, "   -0.000000"},
        {0.0000004, "    0.000000"},
        {-0.0000006, "   -0.000001"},
        {99999.999999, "99999.999999"},
        {99999.9999996, "************"},
        {100000.0, "************"},
        {-9999.999999, "-9999.999999"},
        {-10000.0, "************"},
        {-9999.9999996, "************"},
        {1.23456789, "    1.234568"},
        {std::numeric_limits<double>::quiet_NaN(), "         NaN"},
        {std::numeric_limits<double>::infinity(), "    Infinity"},
        {-std::numeric_limits<double>::infinity(), "   -Infinity"},
        {1e300, "************"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_F(c.value, 12, 6), c.text) << c.value;
}

}  // namespace

// The cascade models write their single-precision coefficients as float literals widened to
// double, double(0.566f), instead of the 17-digit doubles they stand for. These cases show that
// both forms are the same number, and that the plain double literal is not.

#include <gtest/gtest.h>

namespace {

struct widened_float {
    const char* written;
    double widened;   // the float literal widened to double
    double digits;    // the double that the models compute with
    double plain;     // the same digits as a double literal
};

TEST(Constants, WidenedFloatLiteralsEqualTheirSeventeenDigitDoubles) {
    const widened_float cases[] = {
        {"0.566", double(0.566f), 0.5659999847412109, 0.566},
        {"0.242", double(0.242f), 0.24199999868869781, 0.242},
        {"0.02", double(0.02f), 0.019999999552965164, 0.02},
        {"42.4", double(42.4f), 42.400001525878906, 42.4},
        {"-2.0374", -double(2.0374f), -2.037400007247925, -2.0374},
        {"5.69897", double(5.69897f), 5.698969841003418, 5.69897},
        {"1e-16", double(1e-16f), 1.0000000168623835e-16, 1e-16},
        {"0.17", double(0.17f), 0.17000000178813934, 0.17},
        {"0.1", double(0.1f), 0.10000000149011612, 0.1},
        {"4.176", double(4.176f), 4.176000118255615, 4.176},
    };
    for (const widened_float& c : cases) {
        EXPECT_EQ(c.widened, c.digits) << c.written;
        EXPECT_NE(c.widened, c.plain) << c.written;
    }
}

// The turbine model's stalling-incidence polynomial above F2 = 40 uses the coefficients of the
// F2 <= 40 polynomial at F2 = 40, each evaluated in single precision.
TEST(Constants, StallingIncidenceCoefficientsAtFortyDegreesAreSinglePrecisionValues) {
    const float F2 = 40.0f;
    EXPECT_EQ(double(61.8f - (1.6f - F2 / 165.0f) * F2), 7.496967315673828);
    EXPECT_EQ(double(71.9f - 1.69f * F2), 4.299995422363281);
    EXPECT_EQ(double(7.8f - (0.28f - F2 / 320.0f) * F2), 1.6000003814697266);
    EXPECT_EQ(double(14.2f - (0.16f + F2 / 160.0f) * F2), -2.1999998092651367);
}

}  // namespace

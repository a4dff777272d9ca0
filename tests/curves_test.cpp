#include "curves.hpp"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interpolation.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using dvec = std::vector<double>;

// Points given as (z, r) pairs.
array2d points_of(const std::vector<dvec>& pts) {
    array2d p(static_cast<int>(pts.front().size()), static_cast<int>(pts.size()));
    for (int j = 1; j <= p.size2(); ++j)
        for (int i = 1; i <= p.size1(); ++i) p(i, j) = pts[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)];
    return p;
}

curve_t vertical_segment() { return new_curve(points_of({{0.0, 0.0}, {0.0, 4.0}})); }

TEST(Curve, NewCurveParameterisesByChordLength) {
    const curve_t c = new_curve(points_of({{0.0, 0.0}, {3.0, 4.0}, {3.0, 5.0}}));
    EXPECT_EQ(c.arc_length, (dvec{0.0, 5.0, 6.0}));
    EXPECT_EQ(c.s_begin, 0.0);
    EXPECT_EQ(c.s_end, 6.0);
    EXPECT_EQ(c.method, "pchip");
    EXPECT_EQ(c.extrap, "extrap");
    EXPECT_EQ(c.ndim(), 2);
    EXPECT_EQ(c.npts(), 3);
    // The defining points are on the curve.
    EXPECT_EQ(c.at_1(5.0), (dvec{3.0, 4.0}));
    EXPECT_EQ(c.at_1(6.0), (dvec{3.0, 5.0}));

    const curve_t lin = new_curve(points_of({{0.0, 0.0}, {1.0, 0.0}}), "linear", "NaN");
    EXPECT_EQ(lin.method, "linear");
    EXPECT_EQ(lin.extrap, "NaN");
    EXPECT_TRUE(std::isnan(lin.at_1(2.0)[0]));

    EXPECT_STOP(new_curve(points_of({{1.0, 2.0}})), "curve_t requires at least 2 points of at least 1 coordinate");
}

TEST(Curve, TwoPointCurveIsTheLineExtended) {
    curve_t c = vertical_segment();
    EXPECT_EQ(c.at_1(1.0), (dvec{0.0, 1.0}));
    EXPECT_EQ(c.at_1(6.0), (dvec{0.0, 6.0}));
    EXPECT_EQ(c.at_1(-2.0), (dvec{0.0, -2.0}));
    for (double s : {-3.0, 0.0, 1.7, 4.0, 9.0}) EXPECT_EQ(c.tangent_at(s), (dvec{0.0, 1.0}));

    // The allocation-free forms give the same bits.
    double x[2];
    c.at_1(1.3, x);
    EXPECT_EQ((dvec{x[0], x[1]}), c.at_1(1.3));
    const array2d many = c.at_n(dvec{0.5, 1.3, 5.0});
    EXPECT_EQ((dvec{many(1, 2), many(2, 2)}), c.at_1(1.3));
    EXPECT_EQ((dvec{many(1, 3), many(2, 3)}), c.at_1(5.0));

    const dvec dx{0.5, 0.0};
    c.move_by(dx);
    EXPECT_EQ(c.points(1, 1), 0.5);
    EXPECT_EQ(c.points(1, 2), 0.5);
    EXPECT_EQ(c.points(2, 2), 4.0);
    EXPECT_EQ(c.arc_length, (dvec{0.0, 4.0}));
    EXPECT_EQ(c.s_begin, 0.0);
    EXPECT_EQ(c.s_end, 4.0);
}

TEST(Curve, ProjectionOntoALine) {
    const curve_t c = vertical_segment();
    dvec x{1.0, 3.0};
    double s = -1.0;
    project_to_curve(x, c, &s);  // starts at the mid-range s = 2, steps to 3, then by 0
    EXPECT_EQ(x, (dvec{0.0, 3.0}));
    EXPECT_EQ(s, 3.0);

    x = {0.0, 7.0};  // beyond the last point: on the extended end piece
    project_to_curve(x, c, &s);
    EXPECT_EQ(x, (dvec{0.0, 7.0}));
    EXPECT_EQ(s, 7.0);

    curve_t no_extension = c;
    no_extension.extrap = "NaN";
    x = {0.0, 7.0};
    project_to_curve(x, no_extension, &s);
    EXPECT_TRUE(std::isnan(x[0]) && std::isnan(x[1]) && std::isnan(s));

    // A start given by the caller, and an out-argument that is the curve's own range end.
    curve_t edge = new_curve(points_of({{0.0, 0.0}, {0.0, 4.0}}));
    x = {2.0, 2.5};
    const double guess = 100.0;
    project_to_curve(x, edge, &edge.s_begin, &guess);
    EXPECT_EQ(edge.s_begin, 2.5);
    EXPECT_EQ(x, (dvec{0.0, 2.5}));

    // A point with an extra coordinate keeps it; the curve's coordinates are projected.
    dvec x3{5.0, 1.5, 9.0};
    project_to_curve(x3, c);
    EXPECT_EQ(x3, (dvec{0.0, 1.5, 9.0}));
}

TEST(Curve, NarrowedRangeSetsTangentStepAndProjectionStart) {
    // A bent curve, so that the step and the start change the last bits.
    curve_t c = new_curve(points_of({{0.0, 0.0}, {1.0, 0.5}, {1.5, 1.5}, {1.6, 3.0}}));
    c.s_begin = 0.4;
    c.s_end = 1.9;
    const double s = 1.2;
    const double h = (c.s_end - c.s_begin) * 1.4901161193847656e-8;
    const dvec plus = c.at_1(s + 0.5 * h);
    const dvec minus = c.at_1(s - 0.5 * h);
    const double tz = (plus[0] - minus[0]) / h;
    const double tr = (plus[1] - minus[1]) / h;
    const double len = std::sqrt(tz * tz + tr * tr);
    EXPECT_EQ(c.tangent_at(s), (dvec{tz / len, tr / len}));

    dvec a{1.2, 1.0};
    dvec b = a;
    double sa = 0.0;
    double sb = 0.0;
    const double mid = (0.4 + 1.9) * 0.5;
    project_to_curve(a, c, &sa);
    project_to_curve(b, c, &sb, &mid);
    EXPECT_EQ(a, b);
    EXPECT_EQ(sa, sb);
    // The projected point is where the offset is normal to the tangent (to the stop bound).
    const dvec t = c.tangent_at(sa);
    EXPECT_NEAR((1.2 - a[0]) * t[0] + (1.0 - a[1]) * t[1], 0.0, 1.5e-8);

    // Outside the usable range the curve is still evaluated.
    EXPECT_EQ(c.at_1(0.0), (dvec{0.0, 0.0}));

    // A range of zero width gives no tangent.
    c.s_end = c.s_begin;
    const dvec tn = c.tangent_at(s);
    EXPECT_TRUE(std::isnan(tn[0]) && std::isnan(tn[1]));
}

TEST(Curve, Intersection) {
    const curve_t horizontal = new_curve(points_of({{0.0, 0.0}, {1.0, 0.0}}));
    const curve_t crossing = new_curve(points_of({{0.5, -1.0}, {0.5, 3.0}}));
    EXPECT_EQ(intersection(horizontal, crossing), (dvec{0.5, 0.0}));

    // Curves that do not meet: a point of the second curve, with no report.
    const curve_t parallel = new_curve(points_of({{0.0, 1.0}, {1.0, 1.0}}));
    EXPECT_EQ(intersection(horizontal, parallel), (dvec{0.5, 1.0}));

    // A curved hub and a leaning edge that stops short of it: the meeting point lies on the
    // edge's extension and on the hub.
    const curve_t hub = new_curve(points_of({{-1.0, 0.1}, {0.0, 0.12}, {1.0, 0.2}, {2.0, 0.22}}));
    const curve_t edge = new_curve(points_of({{0.3, 0.25}, {0.35, 0.4}, {0.38, 0.6}}));
    const dvec guess = edge.at_1(edge.s_begin);
    const dvec x = intersection(hub, edge, &guess);
    ASSERT_EQ(x.size(), 2u);
    dvec on_hub = x;
    project_to_curve(on_hub, hub);
    EXPECT_NEAR(on_hub[0], x[0], 1e-9);
    EXPECT_NEAR(on_hub[1], x[1], 1e-9);
    EXPECT_LT(x[1], 0.25);
    EXPECT_GT(x[1], 0.12);

    // Every projection after the first cycle's starts from the parameter that the previous
    // projection onto the same curve found (restarting from mid-range changes the last bits here).
    for (const dvec* start : {&guess, static_cast<const dvec*>(nullptr)}) {
        double s1 = (hub.s_begin + hub.s_end) * 0.5;
        double s2 = (edge.s_begin + edge.s_end) * 0.5;
        dvec expected = start ? *start : edge.at_1(s2);
        for (int cycle = 1; cycle <= 100; ++cycle) {
            const dvec old = expected;
            project_to_curve(expected, hub, &s1, &s1);
            project_to_curve(expected, edge, &s2, &s2);
            const double dz = expected[0] - old[0];
            const double dr = expected[1] - old[1];
            if (dz * dz + dr * dr < 2.220446049250313e-16) break;
        }
        EXPECT_EQ(intersection(hub, edge, start), expected);
    }
}

// Callers that keep only (z, r) of a curve with more coordinates get the first ones.
TEST(Curve, BuffersShorterThanTheCoordinates) {
    curve_t c = new_curve(points_of({{0.0, 0.0, 5.0}, {3.0, 4.0, 5.0}, {3.0, 5.0, 7.0}}));
    const dvec full = c.at_1(5.5);
    double zr[2];
    c.at_1(5.5, zr);
    EXPECT_EQ(zr[0], full[0]);
    EXPECT_EQ(zr[1], full[1]);
    const dvec t = c.tangent_at(2.0);
    c.tangent_at(2.0, zr);
    EXPECT_EQ(zr[0], t[0]);
    EXPECT_EQ(zr[1], t[1]);
    c.move_by(dvec{1.0, 0.0});
    EXPECT_EQ(c.points(1, 3), 4.0);
    EXPECT_EQ(c.points(3, 3), 7.0);
    dvec x{3.0, 3.0};
    project_to_curve(x, c);
    EXPECT_EQ(x.size(), 2u);
}

// The words are resolved when the curve is built; a wrong one still stops the run at the
// evaluation that needs it: the method at every evaluation, the rule beyond the defining points.
TEST(Curve, WrongWordsEndTheRunAtFirstEvaluation) {
    const char* method_message = "interp1 supports only method='linear', 'pchip', or 'cubic'";
    const char* rule_message = "interp1 supports only extrap='extrap' or 'NaN'";
    const array2d points = points_of({{0.0, 0.0}, {1.0, 1.0}, {1.5, 3.0}});
    struct word_case {
        const char* method;
        const char* rule;
        double s;
        const char* message;  // nullptr: evaluated
    };
    const word_case cases[] = {
        {"Pchip", "extrap", 0.5, method_message},
        {"spline", "clamp", 9.0, method_message},
        {"pchip", "clamp", 0.5, nullptr},
        {"linear", "clamp", 9.0, rule_message},
        {"cubic", "nan", -1.0, rule_message},
    };
    for (const word_case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.method + "' '" + c.rule + "' at " + std::to_string(c.s));
        const curve_t curve = new_curve(points, c.method, c.rule);
        if (c.message) {
            EXPECT_STOP(curve.at_1(c.s), c.message);
            EXPECT_STOP(curve.at_n(dvec{0.5, c.s}), c.message);
            EXPECT_STOP(curve.tangent_at(c.s), c.message);
        } else {
            EXPECT_EQ(curve.at_1(c.s), interp1_rank10(curve.arc_length, points, c.s, c.method, c.rule));
        }
    }
    // A wrong method stops even an evaluation without parameters.
    EXPECT_STOP(new_curve(points, "Pchip").at_n(dvec{}), method_message);

    // Words assigned after the curve was built take effect at once.
    curve_t c = new_curve(points);
    c.method = "Linear";
    EXPECT_STOP(c.at_1(0.5), method_message);
    c.method = "linear";
    c.extrap = "clamp";
    EXPECT_STOP(c.at_1(-1.0), rule_message);
    c.extrap = "NaN";
    EXPECT_TRUE(std::isnan(c.at_1(-1.0)[1]));
    EXPECT_EQ(c.at_1(0.5), interp1_rank10(c.arc_length, points, 0.5, "linear", "NaN"));
}

}  // namespace
}  // namespace quorl

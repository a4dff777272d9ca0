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
    // Reference points of this curve from outside this code: pchip over the chord lengths
    // (0, 1.118, 2.236, 3.739) with secant end slopes, by SciPy's CubicHermiteSpline c(s).
    // On the narrowed range the tangent is the derivative's direction, c'(1.2) / |c'(1.2)|.
    const double s = 1.2;
    const dvec t_narrow = c.tangent_at(s);
    EXPECT_NEAR(t_narrow[0], 0.6640867792001979, 1e-7);
    EXPECT_NEAR(t_narrow[1], 0.7476555020138003, 1e-7);
    // The step is 2^-26 of the usable range, centred on s: over a range of 2^26 it is the unit
    // chord from c(1.3) to c(2.3), (c(2.3) - c(1.3)) / |c(2.3) - c(1.3)|.
    curve_t wide = c;
    wide.s_begin = 0.0;
    wide.s_end = 67108864.0;
    const dvec t_wide = wide.tangent_at(1.8);
    EXPECT_NEAR(t_wide[0], 0.39174410566250445, 1e-14);
    EXPECT_NEAR(t_wide[1], 0.9200742120495958, 1e-14);

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
    // edge's extension below its first point. Found outside this code by SciPy's fsolve on
    // hub(s1) = edge(s2), both curves pchip CubicHermiteSplines over their chord lengths with
    // secant end slopes, extrapolated: s1 = 1.28067, s2 = -0.115062.
    const curve_t hub = new_curve(points_of({{-1.0, 0.1}, {0.0, 0.12}, {1.0, 0.2}, {2.0, 0.22}}));
    const curve_t edge = new_curve(points_of({{0.3, 0.25}, {0.35, 0.4}, {0.38, 0.6}}));
    const dvec guess = edge.at_1(edge.s_begin);
    for (const dvec* start : {&guess, static_cast<const dvec*>(nullptr)}) {
        const dvec x = intersection(hub, edge, start);
        ASSERT_EQ(x.size(), 2u);
        EXPECT_NEAR(x[0], 0.27970918008143186, 1e-9);
        EXPECT_NEAR(x[1], 0.13811001979767387, 1e-9);
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

// A curve hands its own words to each of its evaluations; which words stop the run, and at
// which points, is the interpolation's test. Building never stops.
TEST(Curve, EvaluationsUseTheCurvesOwnWords) {
    const char* method_message = "interp1 supports only method='linear', 'pchip', or 'cubic'";
    const char* rule_message = "interp1 supports only extrap='extrap' or 'NaN'";
    const array2d points = points_of({{0.0, 0.0}, {1.0, 1.0}, {1.5, 3.0}});
    const curve_t wrong_method = new_curve(points, "Pchip");
    EXPECT_STOP(wrong_method.at_1(0.5), method_message);
    EXPECT_STOP(wrong_method.at_n(dvec{}), method_message);
    EXPECT_STOP(wrong_method.tangent_at(0.5), method_message);

    curve_t c = new_curve(points, "linear", "clamp");
    // In range the rule is not looked at: s = 0.5 on the first chord, of length sqrt(2).
    EXPECT_NEAR(c.at_1(0.5)[0], 0.35355339059327373, 1e-16);
    EXPECT_STOP(c.at_1(9.0), rule_message);
    EXPECT_STOP(c.at_n(dvec{0.5, -1.0}), rule_message);
    EXPECT_STOP(c.tangent_at(-1.0), rule_message);

    // Words assigned after the curve was built take effect at once.
    c.extrap = "NaN";
    EXPECT_TRUE(std::isnan(c.at_1(-1.0)[1]));
    c.method = "Linear";
    EXPECT_STOP(c.at_1(0.5), method_message);
}

}  // namespace
}  // namespace quorl

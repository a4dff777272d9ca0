#include "curves.hpp"

#include <algorithm>
#include <cmath>

#include "interpolation.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

// 2^-26: the tangent's step as a fraction of the usable range, and the projection's bound.
constexpr double two_pow_m26 = 1.4901161193847656e-8;
// 2^-52: the intersection's bound on the squared distance moved in one cycle.
constexpr double two_pow_m52 = 2.220446049250313e-16;
constexpr int max_projection_steps = 100;
constexpr int max_intersection_cycles = 100;

// Scratch space of ndim reals: on the stack for the usual two or three coordinates.
class scratch {
public:
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;
    explicit scratch(int n) {
        if (n > static_cast<int>(sizeof(local_) / sizeof(local_[0]))) {
            heap_.resize(static_cast<std::size_t>(n));
            p_ = heap_.data();
        }
        n_ = static_cast<std::size_t>(n);
    }
    std::span<double> span() { return {p_, n_}; }
    double& operator[](int i) { return p_[i]; }

private:
    double local_[8];
    std::vector<double> heap_;
    double* p_ = local_;
    std::size_t n_ = 0;
};

}  // namespace

curve_t new_curve(const array2d& points, std::string_view method, std::string_view extrap) {
    const int ndim = points.size1();
    const int npts = points.size2();
    if (npts < 2 || ndim < 1) fatal("curve_t requires at least 2 points of at least 1 coordinate");
    curve_t curve;
    curve.arc_length.assign(static_cast<std::size_t>(npts), 0.0);
    for (int i = 1; i <= npts - 1; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= ndim; ++k) {
            const double d = points(k, i + 1) - points(k, i);
            sum = sum + d * d;
        }
        curve.arc_length[static_cast<std::size_t>(i)] = curve.arc_length[static_cast<std::size_t>(i - 1)] + std::sqrt(sum);
    }
    curve.points = points;
    curve.s_begin = 0.0;
    curve.s_end = curve.arc_length.back();
    curve.method = method;
    curve.extrap = extrap;
    return curve;
}

// A buffer shorter than the curve's coordinates receives the first ones.
void curve_t::at_1(double s, std::span<double> x) const {
    const int n = ndim();
    if (static_cast<int>(x.size()) >= n) {
        interp1_point(arc_length, points, s, method.kind(), extrap.kind(), x.data());
        return;
    }
    scratch all(n);
    interp1_point(arc_length, points, s, method.kind(), extrap.kind(), all.span().data());
    for (std::size_t k = 0; k < x.size(); ++k) x[k] = all[static_cast<int>(k)];
}

std::vector<double> curve_t::at_1(double s) const {
    std::vector<double> x(static_cast<std::size_t>(ndim()));
    at_1(s, x);
    return x;
}

array2d curve_t::at_n(vview s) const {
    return interp1_dispatch(arc_length, points, s, method.kind(), extrap.kind());
}

void curve_t::tangent_at(double s, std::span<double> t) const {
    const int n = ndim();
    if (static_cast<int>(t.size()) < n) {
        // A buffer shorter than the curve's coordinates receives the first components.
        scratch all(n);
        tangent_at(s, all.span());
        for (std::size_t k = 0; k < t.size(); ++k) t[k] = all[static_cast<int>(k)];
        return;
    }
    const double h = (s_end - s_begin) * two_pow_m26;
    scratch minus(n);
    at_1(s + 0.5 * h, t);
    at_1(s - 0.5 * h, minus.span());
    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
        t[static_cast<std::size_t>(k)] = (t[static_cast<std::size_t>(k)] - minus[k]) / h;
        sum = sum + t[static_cast<std::size_t>(k)] * t[static_cast<std::size_t>(k)];
    }
    const double length = std::sqrt(sum);
    for (int k = 0; k < n; ++k) t[static_cast<std::size_t>(k)] = t[static_cast<std::size_t>(k)] / length;
}

std::vector<double> curve_t::tangent_at(double s) const {
    std::vector<double> t(static_cast<std::size_t>(ndim()));
    tangent_at(s, t);
    return t;
}

// A displacement with fewer entries than the curve has coordinates leaves the others in place.
void curve_t::move_by(std::span<const double> dx) {
    const int n = std::min(ndim(), static_cast<int>(dx.size()));
    for (int i = 1; i <= npts(); ++i)
        for (int k = 1; k <= n; ++k) points(k, i) = points(k, i) + dx[static_cast<std::size_t>(k - 1)];
}

// A point with more coordinates than the curve keeps its extra ones; one with fewer is
// projected in the coordinates it has.
void project_to_curve(std::span<double> x, const curve_t& curve, double* s_out, const double* s_guess) {
    const int ndim = curve.ndim();
    const int n = std::min(static_cast<int>(x.size()), ndim);
    double s = s_guess ? *s_guess : (curve.s_begin + curve.s_end) * 0.5;
    scratch t(ndim);
    scratch c(ndim);
    for (int step = 1; step <= max_projection_steps; ++step) {
        curve.tangent_at(s, t.span());
        curve.at_1(s, c.span());
        double ds = 0.0;
        for (int k = 0; k < n; ++k) ds = ds + (x[static_cast<std::size_t>(k)] - c[k]) * t[k];
        s = s + ds;
        if (std::fabs(ds) < two_pow_m26) break;
    }
    curve.at_1(s, c.span());
    for (int k = 0; k < n; ++k) x[static_cast<std::size_t>(k)] = c[k];
    if (s_out) *s_out = s;
}

std::vector<double> intersection(const curve_t& c1, const curve_t& c2, const std::vector<double>* x_guess) {
    // Each projection starts where the previous cycle's projection onto the same curve ended.
    double s1 = (c1.s_begin + c1.s_end) * 0.5;
    double s2 = (c2.s_begin + c2.s_end) * 0.5;
    std::vector<double> x = x_guess ? *x_guess : c2.at_1(s2);
    std::vector<double> xold(x.size());
    for (int cycle = 1; cycle <= max_intersection_cycles; ++cycle) {
        xold = x;
        project_to_curve(x, c1, &s1, &s1);
        project_to_curve(x, c2, &s2, &s2);
        double moved = 0.0;
        for (std::size_t k = 0; k < x.size(); ++k) moved = moved + (x[k] - xold[k]) * (x[k] - xold[k]);
        if (moved < two_pow_m52) break;
    }
    return x;
}

}  // namespace quorl

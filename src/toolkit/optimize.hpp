#pragma once
// Scalar root finders. The functions handed to them may have side effects (the equilibrium
// residuals write the flow field), so the order of evaluations below is part of the behaviour.
// A failure is reported through `info` when given; otherwise it ends the run.

#include <cmath>
#include <functional>
#include <optional>
#include <string_view>

#include "stop.hpp"
#include "strings.hpp"

namespace quorl {

// Newton's forward-difference step when no derivative is given, relative to max(|x|, 1).
inline constexpr double newton_relative_step = 1e-6;
// Newton's iteration stops, as a failure, at a derivative smaller than this in magnitude.
inline constexpr double newton_min_derivative = 1e-12;

// root_scalar's bracket search from a start value x0:
// half-width of the first bracket around x0, relative to max(|x0|, 1);
inline constexpr double bracket_initial_step = 0.001;
// the most moves of an end before the bracket is handed to bisect;
inline constexpr int bracket_max_moves = 50;
// how far the end with the smaller |f| moves out, in widths of the current bracket.
inline constexpr double bracket_growth = 1.5;

// Status record of a root search.
struct solver_info_t {
    bool converged = false;
    int iterations = 0;
};

// Bisection of the bracket [a, b] (either order).
template <class F>
double bisect(F&& f, double a, double b, double xtol = 2e-12, double rtol = 1e-15, int maxiter = 100,
              solver_info_t* info = nullptr) {
    if (info) *info = solver_info_t{};
    double fa = f(a);
    const double fb = f(b);
    if (fa * fb > 0.0) {
        if (!info) fatal("bisect: f(a) and f(b) must have opposite signs");
        return 0.5 * (a + b);
    }
    for (int k = 1; k <= maxiter; ++k) {
        const double c = (a + b) * 0.5;
        const double fc = f(c);
        if (std::fabs(c - a) < std::fabs(c) * rtol + xtol) {
            if (info) *info = solver_info_t{true, k};
            return c;
        }
        const double product = fc * fa;
        if (product < 0.0) {
            b = c;
        } else if (product == 0.0) {
            // An exact zero at the midpoint (or at a): keep the root inside the bracket.
            b = c;
        } else {
            a = c;
            fa = fc;
        }
    }
    if (!info) fatal("bisect: maximum number of iterations exceeded");
    *info = solver_info_t{false, maxiter};
    return 0.5 * (a + b);
}

// The same algorithm in single precision.
float bisect_real32(const std::function<float(float)>& f, float a, float b, float xtol = 2e-12f,
                    float rtol = 1e-15f, int maxiter = 100, solver_info_t* info = nullptr);

// Newton's iteration from x0; without fprime the derivative is a forward difference.
template <class F>
double newton(F&& f, double x0, const std::function<double(double)>& fprime = {}, double xtol = 2e-12,
              double rtol = 1e-15, int maxiter = 100, solver_info_t* info = nullptr) {
    if (info) *info = solver_info_t{};
    double x = x0;
    for (int k = 1; k <= maxiter; ++k) {
        double d;
        if (fprime) {
            d = fprime(x);
        } else {
            const double h = std::fmax(std::fabs(x), 1.0) * newton_relative_step;
            const double fxh = f(x + h);
            const double fx = f(x);
            d = (fxh - fx) / h;
        }
        if (std::fabs(d) < newton_min_derivative) break;
        const double step = f(x) / d;
        x = x - step;
        if (std::fabs(step) < std::fabs(x) * rtol + xtol) {
            if (info) *info = solver_info_t{true, k};
            return x;
        }
    }
    if (!info) fatal("newton: maximum number of iterations exceeded");
    *info = solver_info_t{false, maxiter};
    return x;
}

// Optional settings of root_scalar; an absent one takes the called finder's default.
struct root_scalar_options {
    std::optional<double> x0 = {};
    std::optional<double> a = {};
    std::optional<double> b = {};
    std::function<double(double)> fprime = {};
    double xtol = 2e-12;
    double rtol = 1e-15;
    int maxiter = 100;
    std::string_view method = "bisect";
    solver_info_t* info = nullptr;
};

// Front end: bisection of (a, b), or of a bracket grown from x0, or Newton from x0.
template <class F>
double root_scalar(F&& f, const root_scalar_options& o) {
    if (o.info) *o.info = solver_info_t{};
    if (same_word(o.method, "bisect")) {
        // value_or rather than *: GCC's flow analysis under the sanitizers otherwise reports the
        // absent ends as uninitialised reads.
        if (o.a.has_value() && o.b.has_value())
            return bisect(f, o.a.value_or(0.0), o.b.value_or(0.0), o.xtol, o.rtol, o.maxiter, o.info);
        if (!o.x0) fatal("root_scalar: either x0 or (a,b) must be present");
        const double x0 = *o.x0;
        const double d = std::fmax(std::fabs(x0), 1.0) * bracket_initial_step;
        double lo = x0 - d;
        double hi = x0 + d;
        double flo = f(lo);
        double fhi = f(hi);
        for (int k = 1; k <= bracket_max_moves; ++k) {
            if (flo * fhi < 0.0) break;
            if (std::fabs(fhi) > std::fabs(flo)) {
                lo = (lo - hi) * bracket_growth + lo;
                flo = f(lo);
            } else {
                hi = (hi - lo) * bracket_growth + hi;
                fhi = f(hi);
            }
        }
        return bisect(f, lo, hi, o.xtol, o.rtol, o.maxiter, o.info);
    }
    if (same_word(o.method, "newton")) {
        if (!o.x0) fatal("root_scalar: x0 must be present for Newton's method");
        return newton(f, *o.x0, o.fprime, o.xtol, o.rtol, o.maxiter, o.info);
    }
    fatal("root_scalar: unknown method");
}

// The 64-bit forms under their own names.
template <class F>
double bisect_real64(F&& f, double a, double b, double xtol = 2e-12, double rtol = 1e-15, int maxiter = 100,
                     solver_info_t* info = nullptr) {
    return bisect(f, a, b, xtol, rtol, maxiter, info);
}
template <class F>
double newton_real64(F&& f, double x0, const std::function<double(double)>& fprime = {}, double xtol = 2e-12,
                     double rtol = 1e-15, int maxiter = 100, solver_info_t* info = nullptr) {
    return newton(f, x0, fprime, xtol, rtol, maxiter, info);
}
template <class F>
double root_scalar_real64(F&& f, const root_scalar_options& o) {
    return root_scalar(f, o);
}

}  // namespace quorl

#include "interpolation.hpp"

#include <cmath>
#include <limits>

#include "stop.hpp"
#include "strings.hpp"

namespace quorl {

interp_method interp_method_of(std::string_view word) {
    if (same_word(word, "linear")) return interp_method::linear;
    if (same_word(word, "pchip") || same_word(word, "cubic")) return interp_method::pchip;
    return interp_method::unknown;
}

interp_rule interp_rule_of(std::string_view word) {
    if (same_word(word, "extrap")) return interp_rule::extrap;
    if (same_word(word, "NaN")) return interp_rule::nan;
    return interp_rule::unknown;
}

namespace {

constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Every evaluation needs a known method, even one without query points.
interp_method known(interp_method method) {
    if (method == interp_method::unknown) fatal("interp1 supports only method='linear', 'pchip', or 'cubic'");
    return method;
}

// A table needs one interval at least, and an ordinate for every abscissa, so that the
// interval search and the kernels never read outside the arrays.
void check_table(int n, int n_ordinates) {
    if (n < 2) fatal("interp1 requires at least 2 abscissae");
    if (n_ordinates < n) fatal("interp1 requires an ordinate for every abscissa");
}

// Whether the point is to be evaluated: in range, or out of range under "extrap".
// Out of range under "NaN" gives false; an unknown rule ends the run.
inline bool evaluated(vview x, int n, double xi, interp_rule extrap) {
    if (x(1) <= xi && xi <= x(n)) return true;  // a NaN point is out of range
    switch (extrap) {
        case interp_rule::extrap: return true;
        case interp_rule::nan: return false;
        case interp_rule::unknown: break;
    }
    fatal("interp1 supports only extrap='extrap' or 'NaN'");
}

// Bisection over the abscissae: x(k) <= xi < x(k+1) inside the table, k = 1 below it,
// k = n - 1 at or above x(n) and for a NaN point.
inline int find_interval(vview x, int n, double xi) {
    int lower = 1;
    int upper = n;
    while (upper - lower > 1) {
        const int mid = (lower + upper) / 2;
        if (x(mid) > xi) upper = mid;
        else lower = mid;
    }
    return lower;
}

// Linear interpolation of c components on interval k. y(comp, i) gives the ordinates.
template <class Y>
inline void linear_on_interval(vview x, const Y& y, int c, int k, double xi, double* out) {
    const double t = (xi - x(k)) / (x(k + 1) - x(k));
    for (int comp = 1; comp <= c; ++comp) {
        const double yk = y(comp, k);
        out[comp - 1] = (y(comp, k + 1) - yk) * t + yk;
    }
}

// PCHIP slope at a node shared by an interval of width R and secant delta and a neighbour
// of width N and secant delta_n: weighted harmonic mean, 0 where the secants do not agree in sign.
inline double pchip_slope(double R, double N, double delta, double delta_n) {
    if (delta * delta_n <= 0.0) return 0.0;
    return 3.0 * (R + N) / ((2.0 * N + R) / delta + (2.0 * R + N) / delta_n);
}

// Cubic Hermite interpolation of c components on interval k, whose width is R, with the
// widths V of the interval to its left and W of the one to its right (0 where there is none).
template <class Y>
inline void pchip_on_interval(vview x, const Y& y, int c, int k, double xi, double R, double V, double W,
                              double* out) {
    const double t = (xi - x(k)) / R;
    const double s = (x(k + 1) - xi) / R;
    const double t2 = t * t;
    const double t3 = t * t * t;
    const double s2 = s * s;
    const double s3 = s * s * s;
    for (int comp = 1; comp <= c; ++comp) {
        const double yk = y(comp, k);
        const double yk1 = y(comp, k + 1);
        const double delta = (yk1 - yk) / R;
        double dL = delta;
        double dR = delta;
        if (V > 0.0) dL = pchip_slope(R, V, delta, (yk - y(comp, k - 1)) / V);
        if (W > 0.0) dR = pchip_slope(R, W, delta, (y(comp, k + 2) - yk1) / W);
        out[comp - 1] = yk1 * (3.0 * t2 - 2.0 * t3) + yk * (3.0 * s2 - 2.0 * s3) - dL * R * (s3 - s2) +
                        dR * R * (t3 - t2);
    }
}

// One query point. width(i) is |x(i+1) - x(i)| for i = 1..n-1 and 0 for i = 0 and i = n.
template <class Y, class Width>
inline void eval_point(interp_method kind, vview x, int n, const Y& y, int c, double xi, interp_rule extrap,
                       const Width& width, double* out) {
    if (!evaluated(x, n, xi, extrap)) {
        for (int comp = 0; comp < c; ++comp) out[comp] = quiet_nan;
        return;
    }
    const int k = find_interval(x, n, xi);
    if (kind == interp_method::linear) linear_on_interval(x, y, c, k, xi, out);
    else pchip_on_interval(x, y, c, k, xi, width(k), width(k - 1), width(k + 1), out);
}

// The widths of one point's neighbourhood, worked out from the abscissae themselves.
struct local_width {
    vview x;
    int n;
    double operator()(int i) const { return (i < 1 || i >= n) ? 0.0 : std::fabs(x(i + 1) - x(i)); }
};

// All query points in order, column j of the result at xi(j); out(j) points to its c values.
template <class Y, class Out>
void run_kernel(interp_method kind, vview x, const Y& y, int c, vview xi, interp_rule extrap, const Out& out) {
    const int n = x.size();
    const int m = xi.size();
    if (kind == interp_method::linear) {
        const auto no_width = [](int) { return 0.0; };
        for (int j = 1; j <= m; ++j) eval_point(kind, x, n, y, c, xi(j), extrap, no_width, out(j));
        return;
    }
    // PCHIP: the widths h(0..n) once per call, zero at both ends.
    std::vector<double> h(static_cast<std::size_t>(n) + 1, 0.0);
    for (int i = 1; i <= n - 1; ++i) h[static_cast<std::size_t>(i)] = std::fabs(x(i + 1) - x(i));
    const auto call_width = [&h](int i) { return h[static_cast<std::size_t>(i)]; };
    for (int j = 1; j <= m; ++j) eval_point(kind, x, n, y, c, xi(j), extrap, call_width, out(j));
}

struct table_ordinates {
    const array2d& y;
    double operator()(int comp, int i) const { return y(comp, i); }
};

struct list_ordinates {
    vview y;
    double operator()(int, int i) const { return y(i); }
};

array2d run_table_kernel(interp_method kind, vview x, const array2d& y, vview xi, interp_rule extrap) {
    check_table(x.size(), y.size2());
    const int c = y.size1();
    array2d yi(c, xi.size());
    double* base = yi.data().data();
    run_kernel(kind, x, table_ordinates{y}, c, xi, extrap,
               [base, c](int j) { return base + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(c); });
    return yi;
}

// One ordinate per abscissa, one query point.
double point_of_list(vview x, vview y, double xi, interp_method method, interp_rule extrap) {
    const interp_method kind = known(method);
    const int n = x.size();
    check_table(n, y.size());
    double yi;
    eval_point(kind, x, n, list_ordinates{y}, 1, xi, extrap, local_width{x, n}, &yi);
    return yi;
}

}  // namespace

array2d interpolate_linearly(vview x, const array2d& y, vview xi, std::string_view extrap) {
    return run_table_kernel(interp_method::linear, x, y, xi, interp_rule_of(extrap));
}

array2d interpolate_pchip(vview x, const array2d& y, vview xi, std::string_view extrap) {
    return run_table_kernel(interp_method::pchip, x, y, xi, interp_rule_of(extrap));
}

array2d interp1_dispatch(vview x, const array2d& y, vview xi, interp_method method, interp_rule extrap) {
    return run_table_kernel(known(method), x, y, xi, extrap);
}

array2d interp1_dispatch(vview x, const array2d& y, vview xi, std::string_view method, std::string_view extrap) {
    return interp1_dispatch(x, y, xi, interp_method_of(method), interp_rule_of(extrap));
}

void interp1_point(vview x, const array2d& y, double xi, interp_method method, interp_rule extrap, double* out) {
    const interp_method kind = known(method);
    const int n = x.size();
    check_table(n, y.size2());
    eval_point(kind, x, n, table_ordinates{y}, y.size1(), xi, extrap, local_width{x, n}, out);
}

void interp1_point(vview x, const array2d& y, double xi, std::string_view method, std::string_view extrap,
                   double* out) {
    interp1_point(x, y, xi, interp_method_of(method), interp_rule_of(extrap), out);
}

double interp1_rank00(vview x, vview y, double xi, std::string_view method, std::string_view extrap) {
    return point_of_list(x, y, xi, interp_method_of(method), interp_rule_of(extrap));
}

std::vector<double> interp1_rank01(vview x, vview y, vview xi, std::string_view method, std::string_view extrap) {
    const interp_method kind = known(interp_method_of(method));
    check_table(x.size(), y.size());
    std::vector<double> yi(static_cast<std::size_t>(xi.size()));
    double* base = yi.data();
    run_kernel(kind, x, list_ordinates{y}, 1, xi, interp_rule_of(extrap), [base](int j) { return base + (j - 1); });
    return yi;
}

std::vector<double> interp1_rank10(vview x, const array2d& y, double xi, std::string_view method,
                                   std::string_view extrap) {
    std::vector<double> yi(static_cast<std::size_t>(y.size1()));
    interp1_point(x, y, xi, method, extrap, yi.data());
    return yi;
}

array2d interp1_rank11(vview x, const array2d& y, vview xi, std::string_view method, std::string_view extrap) {
    return interp1_dispatch(x, y, xi, method, extrap);
}

double interp1_t::at(double xi) const { return point_of_list(x_data, y_data, xi, method.kind(), extrap.kind()); }

interp1_t create_interp1_t(vview x, vview y, std::string_view method, std::string_view extrap) {
    const int n = x.size();
    if (y.size() < n) fatal("interp1 requires an ordinate for every abscissa");
    interp1_t table;
    table.x_data.resize(static_cast<std::size_t>(n));
    table.y_data.resize(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
        table.x_data[static_cast<std::size_t>(i - 1)] = x(i);
        table.y_data[static_cast<std::size_t>(i - 1)] = y(i);
    }
    table.method = method;
    table.extrap = extrap;
    return table;
}

}  // namespace quorl

#pragma once
// One-dimensional interpolation: linear and piecewise cubic Hermite (PCHIP), with NaN or
// extension outside the table. Method "linear" (default), "pchip" or "cubic" (= "pchip");
// rule "NaN" (default) or "extrap". Words are compared case-sensitively, trailing blanks ignored.

#include <string>
#include <string_view>
#include <vector>

#include "array2d.hpp"

namespace quorl {

// y is (c, n) when interpolating c components over n abscissae; results are (c, m).
// A table of fewer than 2 abscissae, or with fewer ordinates than abscissae, ends the run.

// One ordinate per abscissa, one query point.
double interp1_rank00(vview x, vview y, double xi, std::string_view method = "linear",
                      std::string_view extrap = "NaN");
// One ordinate per abscissa, m query points.
std::vector<double> interp1_rank01(vview x, vview y, vview xi, std::string_view method = "linear",
                                   std::string_view extrap = "NaN");
// c components per abscissa (y is c x n), one query point: c values.
std::vector<double> interp1_rank10(vview x, const array2d& y, double xi, std::string_view method = "linear",
                                   std::string_view extrap = "NaN");
// c components per abscissa, m query points: a c x m result.
array2d interp1_rank11(vview x, const array2d& y, vview xi, std::string_view method = "linear",
                       std::string_view extrap = "NaN");

// The generic name: the form is chosen by the shapes of y and xi.
inline double interp1(vview x, vview y, double xi, std::string_view method = "linear",
                      std::string_view extrap = "NaN") {
    return interp1_rank00(x, y, xi, method, extrap);
}
inline std::vector<double> interp1(vview x, vview y, vview xi, std::string_view method = "linear",
                                   std::string_view extrap = "NaN") {
    return interp1_rank01(x, y, xi, method, extrap);
}
inline std::vector<double> interp1(vview x, const array2d& y, double xi, std::string_view method = "linear",
                                   std::string_view extrap = "NaN") {
    return interp1_rank10(x, y, xi, method, extrap);
}
inline array2d interp1(vview x, const array2d& y, vview xi, std::string_view method = "linear",
                       std::string_view extrap = "NaN") {
    return interp1_rank11(x, y, xi, method, extrap);
}

// The common body: y is c x n, xi has m points, result c x m.
array2d interp1_dispatch(vview x, const array2d& y, vview xi, std::string_view method = "linear",
                         std::string_view extrap = "NaN");

// The kernels (extrap is validated only at the first point out of range).
array2d interpolate_linearly(vview x, const array2d& y, vview xi, std::string_view extrap);
array2d interpolate_pchip(vview x, const array2d& y, vview xi, std::string_view extrap);

// Evaluates every component of a c x n table at one point into out[0..c-1], without allocating.
void interp1_point(vview x, const array2d& y, double xi, std::string_view method, std::string_view extrap,
                   double* out);

// A tabulated function held as a value.
struct interp1_t {
    std::vector<double> x_data;
    std::vector<double> y_data;
    std::string method;
    std::string extrap;

    // interp1 of the table at one abscissa.
    double at(double xi) const;
};

// Copies the n abscissae and the first n ordinates; validates nothing.
interp1_t create_interp1_t(vview x, vview y, std::string_view method = "linear", std::string_view extrap = "NaN");

}  // namespace quorl

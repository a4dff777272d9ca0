#pragma once
// Curves through points in any number of coordinates, parameterised by cumulative chord length.
// In this system coordinate 1 is the axial position z and coordinate 2 the radius r (m).

#include <span>
#include <string_view>
#include <vector>

#include "array2d.hpp"
#include "interpolation.hpp"

namespace quorl {

struct curve_t {
    double s_begin = 0.0;             // start of the usable parameter range
    double s_end = 0.0;               // end of the usable parameter range
    std::vector<double> arc_length;   // parameter of each defining point (first 0)
    array2d points;                   // (ndim, npts): one column per defining point
    method_word method;               // interpolation method handed to interp1
    rule_word extrap;                 // out-of-range rule handed to interp1

    int ndim() const { return points.size1(); }
    int npts() const { return points.size2(); }

    // Unit tangent at s (direction of growing parameter), central difference with the step
    // (s_end - s_begin) * 2^-26.
    std::vector<double> tangent_at(double s) const;
    void tangent_at(double s, std::span<double> t) const;
    // Moves every defining point by dx (one entry per coordinate); arc_length and range stay.
    void move_by(std::span<const double> dx);
    // The points at s(1..m): an (ndim, m) array.
    array2d at_n(vview s) const;
    // The point at s.
    std::vector<double> at_1(double s) const;
    // The point at s into x[0..ndim-1], without allocating (a shorter x gets the first coordinates;
    // so does a shorter t in tangent_at).
    void at_1(double s, std::span<double> x) const;
};

// A curve through points (ndim x npts), method default "pchip", extrap default "extrap".
curve_t new_curve(const array2d& points, std::string_view method = "pchip", std::string_view extrap = "extrap");

// Orthogonal projection of x onto the curve (x overwritten with the curve point found).
// s_out, when not null, receives the parameter; s_guess, when not null, is the start.
void project_to_curve(std::span<double> x, const curve_t& curve, double* s_out = nullptr,
                      const double* s_guess = nullptr);

// The meeting point of c1 and c2 by alternating projections (a point of c2).
std::vector<double> intersection(const curve_t& c1, const curve_t& c2,
                                 const std::vector<double>* x_guess = nullptr);

}  // namespace quorl

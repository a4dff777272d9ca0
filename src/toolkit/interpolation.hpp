#pragma once
// One-dimensional interpolation: linear and piecewise cubic Hermite (PCHIP), with NaN or
// extension outside the table. Method "linear" (default), "pchip" or "cubic" (= "pchip");
// rule "NaN" (default) or "extrap". Words are compared case-sensitively, trailing blanks ignored.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "array2d.hpp"

namespace quorl {

// What a method or rule word names. A word that names nothing resolves to `unknown`, which ends
// the run only when an evaluation needs it: an unknown method at every evaluation, an unknown
// rule at the first point out of range.
enum class interp_method : unsigned char { unknown, linear, pchip };
enum class interp_rule : unsigned char { unknown, extrap, nan };

// "linear" is linear; "pchip" and "cubic" are PCHIP.
interp_method interp_method_of(std::string_view word);
// "extrap" continues the end interval; "NaN" gives NaN.
interp_rule interp_rule_of(std::string_view word);

// A word held together with what it names, resolved whenever the word is set, so that
// evaluations switch on the resolved kind instead of comparing texts. It reads and compares as
// its text; assigning a new word resolves it again, so the two never disagree.
template <class Kind, Kind (*resolve)(std::string_view)>
class resolved_word {
public:
    resolved_word() = default;
    resolved_word(std::string_view word) : text_(word), kind_(resolve(word)) {}
    resolved_word& operator=(std::string_view word) {
        text_ = word;
        kind_ = resolve(word);
        return *this;
    }

    const std::string& text() const { return text_; }
    operator const std::string&() const { return text_; }
    Kind kind() const { return kind_; }

    friend bool operator==(const resolved_word& a, std::string_view b) { return a.text_ == b; }
    friend std::ostream& operator<<(std::ostream& os, const resolved_word& w) { return os << w.text_; }

private:
    std::string text_;
    Kind kind_ = Kind::unknown;  // what the empty word names
};

using method_word = resolved_word<interp_method, interp_method_of>;
using rule_word = resolved_word<interp_rule, interp_rule_of>;

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

// The same two operations with the method and rule already resolved (for tables and curves that
// hold their words resolved).
array2d interp1_dispatch(vview x, const array2d& y, vview xi, interp_method method, interp_rule extrap);
void interp1_point(vview x, const array2d& y, double xi, interp_method method, interp_rule extrap, double* out);

// A tabulated function held as a value.
struct interp1_t {
    std::vector<double> x_data;
    std::vector<double> y_data;
    method_word method;
    rule_word extrap;

    // interp1 of the table at one abscissa.
    double at(double xi) const;
};

// Copies the n abscissae and the first n ordinates; validates nothing.
interp1_t create_interp1_t(vview x, vview y, std::string_view method = "linear", std::string_view extrap = "NaN");

}  // namespace quorl

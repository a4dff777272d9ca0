#include "optimize.hpp"

namespace quorl {

float bisect_real32(const std::function<float(float)>& f, float a, float b, float xtol, float rtol, int maxiter,
                    solver_info_t* info) {
    if (info) *info = solver_info_t{};
    float fa = f(a);
    const float fb = f(b);
    if (fa * fb > 0.0f) {
        if (!info) fatal("bisect: f(a) and f(b) must have opposite signs");
        return 0.5f * (a + b);
    }
    for (int k = 1; k <= maxiter; ++k) {
        const float c = (a + b) * 0.5f;
        const float fc = f(c);
        if (std::fabs(c - a) < std::fabs(c) * rtol + xtol) {
            if (info) *info = solver_info_t{true, k};
            return c;
        }
        const float product = fc * fa;
        if (product <= 0.0f) {
            // A sign change, or an exact zero at the midpoint or at a: keep it inside the bracket.
            b = c;
        } else {
            a = c;
            fa = fc;
        }
    }
    if (!info) fatal("bisect: maximum number of iterations exceeded");
    *info = solver_info_t{false, maxiter};
    return 0.5f * (a + b);
}

}  // namespace quorl

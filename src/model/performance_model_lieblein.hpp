#pragma once
// Lieblein-type compressor cascade model: design incidence and deviation from solidity,
// thickness, camber and inlet flow angle; off-design deviation; design loss from the equivalent
// diffusion ratio; off-design loss between a choke-side and a stall-side incidence limit with
// inlet Mach-number corrections. Each call recomputes everything from the current mesh, flow
// field and row tables; a solve context works out the design of every streamline once per solve
// and recomputes only what reads the trailing edge's flow.

#include <utility>
#include <vector>

#include "performance_model.hpp"

namespace quorl {

// Intermediate values of one design-loss evaluation.
struct lieblein_design_loss_t {
    double beta1_star = 0.0;   // design inlet flow angle beta1m + i*, deg
    double beta2_star = 0.0;   // design exit flow angle beta2m + delta*, deg
    double R = 0.0;            // inlet over exit relative velocity at the design angles
    double Deq = 0.0;          // equivalent diffusion ratio
    double omega_star = 0.0;   // design (minimum) loss coefficient
};

// Intermediate values of one off-design loss evaluation.
struct lieblein_loss_t {
    double i_star = 0.0;       // design incidence, deg
    double delta_star = 0.0;   // design deviation, deg
    double beta1s = 0.0;       // stall-side limit of the inlet flow angle, deg
    double beta1ch = 0.0;      // choke-side limit of the inlet flow angle, deg
    double M1 = 0.0;           // inlet relative Mach number
    double W_star = 0.0;       // sonic relative speed at the inlet's relative total state, m/s
    double M1c = 0.0;          // critical inlet Mach number
    double ic = 0.0;           // Mach-corrected choke incidence, deg
    double is = 0.0;           // Mach-corrected stall incidence, deg
    double im = 0.0;           // minimum-loss incidence, deg
    double omega_star = 0.0;   // design loss coefficient
    double omegam = 0.0;       // minimum loss, with any supercritical increment
    double xi = 0.0;           // normalised incidence: < 0 toward choke, >= 0 toward stall
    double omega = 0.0;        // loss coefficient, at most 1 (a NaN gives 1)
};

class performance_model_lieblein_t final : public performance_model_t {
public:
    performance_model_lieblein_t(const blade_row_t& row, double Ksh, double K1, double K2, std::vector<double> m1)
        : row(row), Ksh(Ksh), K1(K1), K2(K2), m1(std::move(m1)) {}

    double deviation(int i1, int i2, int j) const override;
    double incidence(int i1, int i2, int j) const override;
    double pressure_loss(int i1, int i2, int j) const override;
    std::unique_ptr<performance_context_t> solve_context(int i1, int i2) const override;

    // The design values at one streamline. deviation and pressure_loss compute the same values
    // from the cascade point they read once, so these are not points of extension.
    double design_deviation(int i1, int i2, int j) const;
    double design_incidence(int i1, int i2, int j) const;
    double design_pressure_loss(int i1, int i2, int j) const;

    // The loss computations with their intermediate values; design_pressure_loss and
    // pressure_loss return their omega_star and omega.
    lieblein_design_loss_t design_loss_terms(int i1, int i2, int j) const;
    lieblein_loss_t loss_terms(int i1, int i2, int j) const;

    const blade_row_t& row;   // the owning row
    double Ksh;               // shape factor of the thickness terms and the Mach corrections
    double K1;                // factor of the design loss
    double K2;                // constant term of the design loss
    std::vector<double> m1;   // coefficients of the camber slope polynomial in beta1c / 100
};

// Off-design loss over minimum loss as a function of the normalised incidence xi:
// 1 + xi^2 from xi = -2 to 1, continued linearly with matching slope on both sides.
double lieblein_incidence_loss_factor(double xi);

}  // namespace quorl

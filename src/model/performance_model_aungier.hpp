#pragma once
// The Aungier turbine model: total-pressure loss coefficient as profile loss (impulse and nozzle
// correlations blended, corrected for incidence, Mach number, compressibility and Reynolds
// number) plus secondary and trailing-edge loss; exit deviation from a sine rule, with a
// separate supersonic branch built on the sonic relative speed.

#include "performance_model.hpp"

namespace quorl {

class performance_model_aungier_t : public performance_model_t {
public:
    performance_model_aungier_t(const blade_row_t& row, double Kmod, double surface_roughness)
        : row(row), Kmod(Kmod), surface_roughness(surface_roughness) {}

    double deviation(int i1, int i2, int j) const override;
    double incidence(int i1, int i2, int j) const override;
    double pressure_loss(int i1, int i2, int j) const override;
    std::unique_ptr<performance_context_t> solve_context(int i1, int i2) const override;

    const blade_row_t& row;      // the owning row
    double Kmod;                 // factor on the incidence factor of the profile loss
    double surface_roughness;    // m, in the unit of the chord
};

}  // namespace quorl

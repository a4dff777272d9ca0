#pragma once
// Gas model that takes every property from the CoolProp shared library, loaded at run time
// through its C interface from the path the job file gives (`thermo.coolprop.library`).
// The library is bound once per process and never released; each gas object holds two
// property states of its fluid: one of the configured backend and one of "HEOS".

#include <memory>
#include <string>

#include <toml++/toml.h>

#include "thermo.hpp"

namespace quorl {

class thermo_coolprop_t final : public thermo_t {
public:
    double density_hp(double h, double p) const override;
    double density_pt(double p, double T) const override;
    double density_ps(double p, double s) const override;
    double entropy_hp(double h, double p) const override;
    double enthalpy_pt(double p, double T) const override;
    double entropy_pt(double p, double T) const override;
    double prandtl_pt(double p, double T) const override;
    double specific_heat_pressure_pt(double p, double T) const override;
    double sound_speed_pt(double p, double T) const override;
    // The only operation answered by the "HEOS" state, whatever backend is configured.
    double pressure_hs(double h, double s) const override;
    double viscosity_pt(double p, double T) const override;
    double temperature_ps(double p, double s) const override;
    double temperature_hp(double h, double p) const override;
    double enthalpy_ps(double p, double s) const override;

    double pressure_st(double s, double T) const;  // Pa
    double density_hs(double h, double s) const;   // kg/m3

    const std::string& fluid() const { return fluid_; }
    const std::string& backend() const { return backend_; }

private:
    // Built only by new_thermo_coolprop_t, once the library is bound and both states exist.
    thermo_coolprop_t(long abstract_state, long heos_abstract_state, std::string fluid, std::string backend);
    friend std::unique_ptr<thermo_t> new_thermo_coolprop_t(const toml::table& thermo);

    long abstract_state_;       // state of `backend_` and `fluid_`
    long heos_abstract_state_;  // state of "HEOS" and `fluid_`
    std::string fluid_;         // as read from the job file
    std::string backend_;       // as read from the job file
};

// Builds the gas model from the `thermo` table's sub-table `coolprop` (keys `library`, read only
// while the library is not yet bound, `fluid` and `backend`). Ends the run on every error.
std::unique_ptr<thermo_t> new_thermo_coolprop_t(const toml::table& thermo);

// For tests only: forgets the process-wide binding (functions and indices) so that the next
// construction reads `library` and binds again. The library itself stays loaded; gas objects
// built before the reset must not be used after it.
void reset_coolprop_binding_for_tests();

}  // namespace quorl

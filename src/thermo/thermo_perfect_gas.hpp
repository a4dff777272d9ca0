#pragma once
// Perfect gas: constant r and cp, Sutherland viscosity, constant Prandtl number.
// Reference state: h = 0 at T = 0 K, s = 0 at T = 1 K and p = 1 Pa.

#include <toml++/toml.h>

#include "thermo_sutherland.hpp"

namespace quorl {

class thermo_perfect_gas_t : public thermo_sutherland_t {
public:
    double r = 0.0;         // specific gas constant, J/(kg K)
    double cp = 0.0;        // specific heat at constant pressure, J/(kg K)

    double density_hp(double h, double p) const override;
    double density_pt(double p, double T) const override;
    double density_ps(double p, double s) const override;
    double entropy_hp(double h, double p) const override;
    double enthalpy_pt(double p, double T) const override;
    double entropy_pt(double p, double T) const override;
    double specific_heat_pressure_pt(double p, double T) const override;
    double sound_speed_pt(double p, double T) const override;
    double pressure_hs(double h, double s) const override;
    double temperature_ps(double p, double s) const override;
    double temperature_hp(double h, double p) const override;
    double enthalpy_ps(double p, double s) const override;

    // Operations of the perfect gas beyond thermo_t. Like the 14 above they are virtual: the
    // operations composed of others call them on the object's dynamic type.
    virtual double density_hs(double h, double s) const;   // kg/m3
    virtual double pressure_st(double s, double T) const;  // Pa
};

// Builds the perfect gas from the sub-table `perfect_gas` of the `thermo` table.
thermo_perfect_gas_t new_thermo_perfect_gas_t(const toml::table& thermo);

}  // namespace quorl

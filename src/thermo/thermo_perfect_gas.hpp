#pragma once
// Perfect gas: constant r and cp, Sutherland viscosity, constant Prandtl number.
// Reference state: h = 0 at T = 0 K, s = 0 at T = 1 K and p = 1 Pa.

#include <toml++/toml.h>

#include "thermo.hpp"

namespace quorl {

class thermo_perfect_gas_t : public thermo_t {
public:
    double r = 0.0;         // specific gas constant, J/(kg K)
    double cp = 0.0;        // specific heat at constant pressure, J/(kg K)
    double mu0 = 1.716e-05; // Sutherland reference viscosity, Pa s
    double T0 = 273.15;     // Sutherland reference temperature, K
    double S = 110.4;       // Sutherland constant, K
    double Pr = 0.72;       // Prandtl number

    double density_hp(double h, double p) const override;
    double density_pt(double p, double T) const override;
    double density_ps(double p, double s) const override;
    double entropy_hp(double h, double p) const override;
    double enthalpy_pt(double p, double T) const override;
    double entropy_pt(double p, double T) const override;
    double prandtl_pt(double p, double T) const override;
    double specific_heat_pressure_pt(double p, double T) const override;
    double sound_speed_pt(double p, double T) const override;
    double pressure_hs(double h, double s) const override;
    double viscosity_pt(double p, double T) const override;
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

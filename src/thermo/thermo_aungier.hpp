#pragma once
// Real gas on Aungier's modification of the Redlich-Kwong equation of state,
//   p = R T / (v - b + c) - a(T) / (v (v + b)),  a(T) = a0 (T / Tc)^(-n),
// with an ideal-gas heat capacity polynomial cp0(T) = sum cp0(k) T^(k-1) and offsets that put
// h and s at the job file's h_std and s_std at 1e5 Pa and 298.15 K. The largest compressibility
// root is always taken. Operations whose arguments are not (p, T) invert by Newton iteration
// from 1e5 Pa, 298.15 K and return their last iterate after 100 steps, converged or not.
// Transport properties: Sutherland's viscosity and a constant Prandtl number.

#include <toml++/toml.h>

#include "array2d.hpp"
#include "thermo_sutherland.hpp"

namespace quorl {

class thermo_aungier_t : public thermo_sutherland_t {
public:
    double r = 0.0;                // specific gas constant R, J/(kg K)
    double T_crit = 0.0;           // critical temperature, K
    double p_crit = 0.0;           // critical pressure, Pa
    double V_crit = 0.0;           // critical specific volume, m3/kg
    double acentric_factor = 0.0;
    double eos_a0 = 0.0;           // attraction constant a0
    double eos_b = 0.0;            // co-volume b, m3/kg
    double eos_c = 0.0;            // volume shift c, m3/kg
    double eos_n = 0.0;            // temperature exponent n
    array1<double> cp0;            // ideal-gas cp coefficients: cp0(k) multiplies T^(k-1), J/(kg K)
    double h_off = 0.0;            // enthalpy offset, J/kg
    double s_off = 0.0;            // entropy offset, J/(kg K)
    double v_ref = 0.0;            // specific volume at 1e5 Pa and 298.15 K, m3/kg

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
};

// Builds the model from the sub-table `aungier` of the `thermo` table. Ends the run on errors.
thermo_aungier_t new_thermo_aungier_t(const toml::table& thermo);

// The model's functions of (p, T), in a namespace of their own since their names are those of a
// member (cp0) and of common locals (h, s, cp). Each solves the equation of state afresh.
namespace aungier {

double compressibility_factor_pt_aungier(const thermo_aungier_t& gas, double p, double T);  // Z
double isothermal_compressibility_pt_aungier(const thermo_aungier_t& gas, double p, double T);  // 1/Pa
double isobaric_expansion_coeff_pt_aungier(const thermo_aungier_t& gas, double p, double T);  // 1/K
double hr(const thermo_aungier_t& gas, double p, double T);   // enthalpy departure, J/kg
double sr(const thermo_aungier_t& gas, double p, double T);   // entropy departure, J/(kg K)
double cpr(const thermo_aungier_t& gas, double p, double T);  // heat-capacity departure, J/(kg K)
double s0(const thermo_aungier_t& gas, double p, double T);   // ideal-gas entropy with offset
double h0(const thermo_aungier_t& gas, double T);             // ideal-gas enthalpy with offset
double cp0(const thermo_aungier_t& gas, double T);            // ideal-gas heat capacity
double h(const thermo_aungier_t& gas, double p, double T);    // h0 + hr
double cp(const thermo_aungier_t& gas, double p, double T);   // cp0 + cpr
double s(const thermo_aungier_t& gas, double p, double T);    // s0 + sr

}  // namespace aungier

}  // namespace quorl

#pragma once
// The gas model: every thermodynamic and transport property of the run comes from one thermo_t.
// h specific enthalpy (J/kg), p pressure (Pa), s specific entropy (J/(kg K)), T temperature (K);
// each operation takes its two arguments in the order its suffix spells.

#include <memory>

#include <toml++/toml.h>

namespace quorl {

class thermo_t {
public:
    virtual ~thermo_t() = default;

    virtual double density_hp(double h, double p) const = 0;                 // kg/m3
    virtual double density_pt(double p, double T) const = 0;                 // kg/m3
    virtual double density_ps(double p, double s) const = 0;                 // kg/m3
    virtual double entropy_hp(double h, double p) const = 0;                 // J/(kg K)
    virtual double enthalpy_pt(double p, double T) const = 0;                // J/kg
    virtual double entropy_pt(double p, double T) const = 0;                 // J/(kg K)
    virtual double prandtl_pt(double p, double T) const = 0;                 // -
    virtual double specific_heat_pressure_pt(double p, double T) const = 0;  // J/(kg K)
    virtual double sound_speed_pt(double p, double T) const = 0;             // m/s
    virtual double pressure_hs(double h, double s) const = 0;                // Pa
    virtual double viscosity_pt(double p, double T) const = 0;               // Pa s
    virtual double temperature_ps(double p, double s) const = 0;             // K
    virtual double temperature_hp(double h, double p) const = 0;             // K
    virtual double enthalpy_ps(double p, double s) const = 0;                // J/kg
};

// Builds the gas model that the job file's `thermo` table names ("perfect_gas", "aungier",
// "coolprop"); the table is created empty when the document has none. Ends the run on errors.
std::unique_ptr<thermo_t> new_thermo_t(toml::table& root);

}  // namespace quorl

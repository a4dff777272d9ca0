#pragma once
// Transport properties of the gas models that do not take them from a library: a Sutherland
// viscosity and a constant Prandtl number, by default those of air.

#include <cmath>
#include <string_view>

#include <toml++/toml.h>

#include "job_file.hpp"
#include "thermo.hpp"

namespace quorl {

class thermo_sutherland_t : public thermo_t {
public:
    static constexpr double default_mu0 = 1.716e-05;
    static constexpr double default_T0 = 273.15;
    static constexpr double default_S = 110.4;
    static constexpr double default_Pr = 0.72;

    double mu0 = default_mu0;   // Sutherland reference viscosity, Pa s
    double T0 = default_T0;     // Sutherland reference temperature, K
    double S = default_S;       // Sutherland constant, K
    double Pr = default_Pr;     // Prandtl number

    // Sutherland's law, whatever the pressure.
    double viscosity_pt(double, double T) const override { return mu0 * std::pow(T / T0, 1.5) * (T0 + S) / (T + S); }
    double prandtl_pt(double, double) const override { return Pr; }

    // Reads the keys mu0, T0, S and Pr of the model's table in this order, each with its default;
    // `where` names the table in the messages ("perfect_gas.").
    void read_transport(const toml::table& table, std::string_view where) {
        mu0 = get_real_or_stop(table, "mu0", default_mu0, where);
        T0 = get_real_or_stop(table, "T0", default_T0, where);
        S = get_real_or_stop(table, "S", default_S, where);
        Pr = get_real_or_stop(table, "Pr", default_Pr, where);
    }
};

}  // namespace quorl

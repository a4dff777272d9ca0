#include "thermo_perfect_gas.hpp"

#include <cmath>

#include "job_file.hpp"
#include "stop.hpp"

namespace quorl {

thermo_perfect_gas_t new_thermo_perfect_gas_t(const toml::table& thermo) {
    const toml::table* table = get_table(thermo, "perfect_gas");
    if (table == nullptr) fatal("perfect_gas not found in thermo table");

    thermo_perfect_gas_t gas;
    if (get_value(*table, "r", gas.r) != stat_success) fatal("perfect_gas.r not found in thermo table");
    if (get_value(*table, "cp", gas.cp) != stat_success) fatal("perfect_gas.cp not found in thermo table");
    gas.read_transport(*table, "perfect_gas.");
    return gas;
}

double thermo_perfect_gas_t::density_hp(double h, double p) const { return p / ((h / cp) * r); }

double thermo_perfect_gas_t::density_pt(double p, double T) const { return p / (r * T); }

double thermo_perfect_gas_t::density_ps(double p, double s) const {
    return this->density_pt(p, this->temperature_ps(p, s));
}

double thermo_perfect_gas_t::entropy_hp(double h, double p) const { return cp * std::log(h / cp) - r * std::log(p); }

double thermo_perfect_gas_t::enthalpy_pt(double, double T) const { return cp * T; }

double thermo_perfect_gas_t::entropy_pt(double p, double T) const { return cp * std::log(T) - r * std::log(p); }

double thermo_perfect_gas_t::specific_heat_pressure_pt(double, double) const { return cp; }

double thermo_perfect_gas_t::sound_speed_pt(double, double T) const { return std::sqrt(cp / (cp - r) * r * T); }

double thermo_perfect_gas_t::pressure_hs(double h, double s) const { return this->pressure_st(s, h / cp); }

double thermo_perfect_gas_t::temperature_ps(double p, double s) const {
    return std::pow(p, r / cp) * std::exp(s / cp);
}

double thermo_perfect_gas_t::temperature_hp(double h, double) const { return h / cp; }

double thermo_perfect_gas_t::enthalpy_ps(double p, double s) const { return cp * this->temperature_ps(p, s); }

double thermo_perfect_gas_t::density_hs(double h, double s) const {
    return this->pressure_st(s, h / cp) / ((h / cp) * r);
}

double thermo_perfect_gas_t::pressure_st(double s, double T) const {
    return std::pow(T, cp / r) * std::exp(-s / r);
}

}  // namespace quorl

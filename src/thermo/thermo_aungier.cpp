#include "thermo/thermo_aungier.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "job_file.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

// Correlation constants of the model, given in single precision and used widened to double.
constexpr double k_a0 = double(0.42747f);  // a0 = k_a0 (R Tc)^2 / pc
constexpr double k_b = double(0.08664f);   // b = k_b R Tc / pc
constexpr double k_n0 = double(0.4986f);   // n = k_n0 + k_n1 w + k_n2 w^2
constexpr double k_n1 = double(1.1735f);
constexpr double k_n2 = double(0.4754f);
constexpr double newton_rtol = double(1e-6f);  // relative step at which the Newton iterations stop
static_assert(k_a0 == 0.42746999859809875 && k_b == 0.08664000034332275 && k_n0 == 0.4986000061035156 &&
              k_n1 == 1.1734999418258667 && k_n2 == 0.47540000081062317 && newton_rtol == 9.999999974752427e-07);

// Reference state of the offsets and of the entropy departure.
constexpr double p_std = 1e5;
constexpr double T_std = 298.15;
constexpr int max_iterations = 100;

double read_required(const toml::table& table, std::string_view key) {
    double value = 0.0;
    if (get_value(table, key, value) != stat_success)
        fatal("aungier." + std::string(key) + " not found in thermo table");
    return value;
}

}  // namespace

namespace aungier {
namespace {

// 1/3 as the exponent of the cube root, 2 pi and 4 pi, rounded as written.
constexpr double third = 0.3333333333333333;
constexpr double two_pi = 6.283185307179586;
constexpr double four_pi = 12.566370614359172;

// Real cube root.
double cbrt_real(double x) { return x >= 0.0 ? std::pow(x, third) : -std::pow(-x, third); }

double attraction(const thermo_aungier_t& gas, double T) { return gas.eos_a0 * std::pow(T / gas.T_crit, -gas.eos_n); }

double specific_volume(const thermo_aungier_t& gas, double p, double T) {
    return compressibility_factor_pt_aungier(gas, p, T) * gas.r * T / p;
}

// sum over k of cp0(k) T^k / k, by Horner's scheme.
double cp0_integral(const thermo_aungier_t& gas, double T) {
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 1; --k) sum = sum * T + gas.cp0(k) / k;
    return sum * T;
}

double dp_dv(const thermo_aungier_t& gas, double v, double T) {
    const double b = gas.eos_b;
    const double aT = attraction(gas, T);
    const double w = v - b + gas.eos_c;
    return -gas.r * T / (w * w) + aT / (v * v * (v + b)) + aT / ((v + b) * (v + b) * v);
}

double dp_dT(const thermo_aungier_t& gas, double v, double T) {
    const double b = gas.eos_b;
    const double aT = attraction(gas, T);
    return gas.r / (v - b + gas.eos_c) + gas.eos_n * aT / (T * v * (v + b));
}

}  // namespace
}  // namespace aungier

thermo_aungier_t new_thermo_aungier_t(const toml::table& thermo) {
    const toml::table* table = get_table(thermo, "aungier");
    if (table == nullptr) fatal("aungier not found in thermo table");

    thermo_aungier_t gas;
    gas.r = read_required(*table, "r");

    const toml::array* coefficients = get_array(*table, "cp0");
    if (coefficients == nullptr) fatal("aungier.cp0 not found in thermo table");
    std::vector<double> values;
    if (array_to_reals(*coefficients, values) != 0) fatal("aungier.cp0 must hold only numbers");
    if (values.empty()) fatal("aungier.cp0 must not be empty");
    gas.cp0.vec() = std::move(values);

    const double h_std = get_real_or_stop(*table, "h_std", 0.0, "aungier.");
    const double s_std = get_real_or_stop(*table, "s_std", 0.0, "aungier.");
    gas.T_crit = read_required(*table, "T_crit");
    gas.V_crit = read_required(*table, "V_crit");
    gas.p_crit = read_required(*table, "p_crit");
    gas.acentric_factor = read_required(*table, "acentric_factor");

    const double R = gas.r;
    const double Tc = gas.T_crit;
    const double pc = gas.p_crit;
    const double Vc = gas.V_crit;
    const double w = gas.acentric_factor;
    gas.eos_a0 = k_a0 * ((R * Tc) * (R * Tc)) / pc;
    gas.eos_b = k_b * R * Tc / pc;
    gas.eos_c = R * Tc / (pc + gas.eos_a0 / (Vc * (Vc + gas.eos_b))) + gas.eos_b - Vc;
    gas.eos_n = k_n0 + k_n1 * w + k_n2 * (w * w);

    // Offsets, computed with both still 0, put h and s at h_std and s_std in the reference state.
    gas.h_off = h_std - (aungier::cp0_integral(gas, T_std) + aungier::hr(gas, p_std, T_std));
    gas.s_off = s_std - (aungier::s0(gas, p_std, T_std) + aungier::sr(gas, p_std, T_std));

    // The defaults are the members' initial values.
    gas.mu0 = get_real_or_stop(*table, "mu0", gas.mu0, "aungier.");
    gas.T0 = get_real_or_stop(*table, "T0", gas.T0, "aungier.");
    gas.S = get_real_or_stop(*table, "S", gas.S, "aungier.");
    gas.Pr = get_real_or_stop(*table, "Pr", gas.Pr, "aungier.");
    return gas;
}

namespace aungier {

// Largest real root of Z^3 + A2 Z^2 + A1 Z + A0 = 0.
double compressibility_factor_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    const double b = gas.eos_b;
    const double c = gas.eos_c;
    const double RT = gas.r * T;
    const double aT = attraction(gas, T);

    const double A2 = c * p / RT - 1.0;
    const double A1 = (aT - RT * b - b * b * p + c * b * p) * p / (RT * RT);
    const double A0 = p * p * aT * (c - b) / (RT * RT * RT);

    const double Q = (3.0 * A1 - A2 * A2) / 9.0;
    const double Rc = ((9.0 * A1 - 2.0 * (A2 * A2)) * A2 - 27.0 * A0) / 54.0;
    const double D = Rc * Rc + Q * Q * Q;

    if (D > 0.0) return cbrt_real(Rc + std::sqrt(D)) - A2 / 3.0 + cbrt_real(Rc - std::sqrt(D));
    if (D == 0.0) {
        const double u = cbrt_real(Rc);
        const double z1 = 2.0 * u - A2 / 3.0;
        const double z2 = -u - A2 / 3.0;
        return z1 > z2 ? z1 : z2;
    }
    // Three real roots (or D not a number).
    const double theta = std::acos(Rc / std::sqrt(-(Q * Q * Q)));
    const double m = 2.0 * std::sqrt(-Q);
    double z = m * std::cos(theta / 3.0) - A2 / 3.0;
    const double z2 = m * std::cos((theta + two_pi) / 3.0) - A2 / 3.0;
    const double z3 = m * std::cos((theta + four_pi) / 3.0) - A2 / 3.0;
    if (z2 > z) z = z2;
    if (z3 > z) z = z3;
    return z;
}

double isothermal_compressibility_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    const double v = specific_volume(gas, p, T);
    return -1.0 / (v * dp_dv(gas, v, T));
}

double isobaric_expansion_coeff_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    const double v = specific_volume(gas, p, T);
    return -dp_dT(gas, v, T) / dp_dv(gas, v, T) / v;
}

double hr(const thermo_aungier_t& gas, double p, double T) {
    const double b = gas.eos_b;
    const double n = gas.eos_n;
    const double v = specific_volume(gas, p, T);
    return p * v - gas.r * T - (gas.eos_a0 / b) * (n + 1.0) * std::pow(T / gas.T_crit, -n) * std::log((b + v) / v);
}

double sr(const thermo_aungier_t& gas, double p, double T) {
    const double R = gas.r;
    const double b = gas.eos_b;
    const double aT = attraction(gas, T);
    const double v = specific_volume(gas, p, T);
    const double v_ref = compressibility_factor_pt_aungier(gas, p_std, T_std) * R * T_std / p_std;
    return R * std::log((v - b + gas.eos_c) / v_ref) - R * std::log(T / T_std) -
           (gas.eos_n * aT / b / T) * std::log((b + v) / v) + R * std::log(p / p_std);
}

double cpr(const thermo_aungier_t& gas, double p, double T) {
    const double b = gas.eos_b;
    const double n = gas.eos_n;
    const double aT = attraction(gas, T);
    const double alpha = isobaric_expansion_coeff_pt_aungier(gas, p, T);
    const double v = specific_volume(gas, p, T);
    return p * alpha * v - gas.r + (aT / b) * n * (1.0 + n) / T * std::log((b + v) / v) +
           (1.0 + n) * aT * alpha * v / v / (b + v);
}

double cp0(const thermo_aungier_t& gas, double T) {
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 1; --k) sum = sum * T + gas.cp0(k);
    return sum;
}

double h0(const thermo_aungier_t& gas, double T) { return gas.h_off + cp0_integral(gas, T); }

double s0(const thermo_aungier_t& gas, double p, double T) {
    // sum for k >= 2 of cp0(k) T^(k-1) / (k - 1), by Horner's scheme.
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 2; --k) sum = sum * T + gas.cp0(k) / (k - 1);
    sum = sum * T;
    return gas.cp0(1) * std::log(T) + sum - gas.r * std::log(p / p_std) + gas.s_off;
}

double h(const thermo_aungier_t& gas, double p, double T) { return h0(gas, T) + hr(gas, p, T); }

double cp(const thermo_aungier_t& gas, double p, double T) { return cp0(gas, T) + cpr(gas, p, T); }

double s(const thermo_aungier_t& gas, double p, double T) { return s0(gas, p, T) + sr(gas, p, T); }

}  // namespace aungier

double thermo_aungier_t::density_pt(double p, double T) const {
    return p / (r * aungier::compressibility_factor_pt_aungier(*this, p, T) * T);
}

double thermo_aungier_t::enthalpy_pt(double p, double T) const {
    return aungier::hr(*this, p, T) + (h_off + aungier::cp0_integral(*this, T));
}

double thermo_aungier_t::entropy_pt(double p, double T) const {
    return aungier::s0(*this, p, T) + aungier::sr(*this, p, T);
}

double thermo_aungier_t::specific_heat_pressure_pt(double p, double T) const {
    return aungier::cp0(*this, T) + aungier::cpr(*this, p, T);
}

double thermo_aungier_t::sound_speed_pt(double p, double T) const {
    const double cp = aungier::cp0(*this, T) + aungier::cpr(*this, p, T);
    const double alpha = aungier::isobaric_expansion_coeff_pt_aungier(*this, p, T);
    const double kappa_T = aungier::isothermal_compressibility_pt_aungier(*this, p, T);
    const double v = aungier::specific_volume(*this, p, T);
    return std::sqrt((cp / (cp - T * v * (alpha * alpha) / kappa_T)) * (v / kappa_T));
}

// Sutherland's law.
double thermo_aungier_t::viscosity_pt(double, double T) const {
    return mu0 * std::pow(T / T0, 1.5) * (T0 + S) / (T + S);
}

double thermo_aungier_t::prandtl_pt(double, double) const { return Pr; }

// Newton on T at fixed p.
double thermo_aungier_t::temperature_hp(double h, double p) const {
    double T = T_std;
    for (int it = 1; it <= max_iterations; ++it) {
        const double cp = aungier::cp0(*this, T) + aungier::cpr(*this, p, T);
        const double dT = (h - (aungier::hr(*this, p, T) + aungier::h0(*this, T))) / cp;
        T = T + dT;
        if (std::abs(dT) < newton_rtol * T) break;
    }
    return T;
}

double thermo_aungier_t::temperature_ps(double p, double s) const {
    double T = T_std;
    for (int it = 1; it <= max_iterations; ++it) {
        const double cp = aungier::cp0(*this, T) + aungier::cpr(*this, p, T);
        const double dT = (s - (aungier::s0(*this, p, T) + aungier::sr(*this, p, T))) * (T / cp);
        T = T + dT;
        if (std::abs(dT) < newton_rtol * T) break;
    }
    return T;
}

// Newton on (p, T) together, from dh = cp dT and dh = T ds + v dp.
double thermo_aungier_t::pressure_hs(double h, double s) const {
    double p = p_std;
    double T = T_std;
    for (int it = 1; it <= max_iterations; ++it) {
        const double cp = aungier::cp0(*this, T) + aungier::cpr(*this, p, T);
        const double rho = p / (aungier::compressibility_factor_pt_aungier(*this, p, T) * r * T);
        const double dh = h - (aungier::hr(*this, p, T) + aungier::h0(*this, T));
        const double ds = s - (aungier::s0(*this, p, T) + aungier::sr(*this, p, T));
        const double dp = (dh - T * ds) * rho;
        const double dT = dh / cp;
        p = p + dp;
        T = T + dT;
        if (std::abs(dp) < newton_rtol * p && std::abs(dT) < newton_rtol * T) break;
    }
    return p;
}

double thermo_aungier_t::density_hp(double h, double p) const {
    const double T = temperature_hp(h, p);
    return p / (r * aungier::compressibility_factor_pt_aungier(*this, p, T) * T);
}

double thermo_aungier_t::density_ps(double p, double s) const {
    const double T = temperature_ps(p, s);
    return p / (r * aungier::compressibility_factor_pt_aungier(*this, p, T) * T);
}

double thermo_aungier_t::entropy_hp(double h, double p) const {
    const double T = temperature_hp(h, p);
    return aungier::s0(*this, p, T) + aungier::sr(*this, p, T);
}

double thermo_aungier_t::enthalpy_ps(double p, double s) const {
    const double T = temperature_ps(p, s);
    return aungier::hr(*this, p, T) + (h_off + aungier::cp0_integral(*this, T));
}

}  // namespace quorl

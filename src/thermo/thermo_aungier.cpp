#include "thermo_aungier.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "job_file.hpp"
#include "math.hpp"
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

// The exponent 1/3 of the cube root (the double nearest to it), and 4 pi for the third real root
// (2 pi for the second is the toolkit's).
constexpr double third = 0.3333333333333333;
constexpr double four_pi = 2.0 * two_pi;
static_assert(third == 1.0 / 3.0 && four_pi == 12.566370614359172);

// Real cube root.
double cbrt_real(double x) { return x >= 0.0 ? std::pow(x, third) : -std::pow(-x, third); }

// Largest real root of Z^3 + A2 Z^2 + A1 Z + A0 = 0, the equation of state at (p, T) written for
// Z, with aT = a(T).
double largest_root(const thermo_aungier_t& gas, double p, double T, double aT) {
    const double b = gas.eos_b;
    const double c = gas.eos_c;
    const double RT = gas.r * T;

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

// sum over k of cp0(k) T^k / k, by Horner's scheme.
double cp0_integral(const thermo_aungier_t& gas, double T) {
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 1; --k) sum = sum * T + gas.cp0(k) / k;
    return sum * T;
}

// The equation of state solved at one (p, T): what the property formulas there share, so that
// an operation solves the cubic and takes the powers and logarithms once per state.
struct state_t {
    double p;
    double T;
    double tau;     // (T / Tc)^(-n)
    double aT;      // attraction a(T) = a0 tau
    double Z;       // compressibility factor
    double v;       // specific volume Z R T / p, m3/kg
    double log_bv;  // ln((b + v) / v), a factor of every departure
};

state_t state_at(const thermo_aungier_t& gas, double p, double T) {
    const double tau = std::pow(T / gas.T_crit, -gas.eos_n);
    const double aT = gas.eos_a0 * tau;
    const double Z = largest_root(gas, p, T, aT);
    const double v = Z * gas.r * T / p;
    return {p, T, tau, aT, Z, v, std::log((gas.eos_b + v) / v)};
}

// ln(p / 1e5), shared by the ideal-gas entropy and the entropy departure.
double log_pressure_ratio(double p) { return std::log(p / p_std); }

double dp_dv(const thermo_aungier_t& gas, const state_t& st) {
    const double b = gas.eos_b;
    const double v = st.v;
    const double w = v - b + gas.eos_c;
    return -gas.r * st.T / (w * w) + st.aT / (v * v * (v + b)) + st.aT / ((v + b) * (v + b) * v);
}

double dp_dT(const thermo_aungier_t& gas, const state_t& st) {
    const double b = gas.eos_b;
    const double v = st.v;
    return gas.r / (v - b + gas.eos_c) + gas.eos_n * st.aT / (st.T * v * (v + b));
}

// Isothermal compressibility kappa_T and isobaric expansion coefficient alpha, given dp/dv.
double kappa_at(const state_t& st, double dpdv) { return -1.0 / (st.v * dpdv); }

double alpha_at(const thermo_aungier_t& gas, const state_t& st, double dpdv) { return -dp_dT(gas, st) / dpdv / st.v; }

// Departures from the ideal gas; log_p is ln(p / 1e5).
double hr_at(const thermo_aungier_t& gas, const state_t& st) {
    const double b = gas.eos_b;
    const double n = gas.eos_n;
    return st.p * st.v - gas.r * st.T - (gas.eos_a0 / b) * (n + 1.0) * st.tau * st.log_bv;
}

double sr_at(const thermo_aungier_t& gas, const state_t& st, double log_p) {
    const double R = gas.r;
    const double b = gas.eos_b;
    return R * std::log((st.v - b + gas.eos_c) / gas.v_ref) - R * std::log(st.T / T_std) -
           (gas.eos_n * st.aT / b / st.T) * st.log_bv + R * log_p;
}

double cpr_at(const thermo_aungier_t& gas, const state_t& st, double alpha) {
    const double b = gas.eos_b;
    const double n = gas.eos_n;
    const double aT = st.aT;
    const double v = st.v;
    return st.p * alpha * v - gas.r + (aT / b) * n * (1.0 + n) / st.T * st.log_bv +
           (1.0 + n) * aT * alpha * v / v / (b + v);
}

// Ideal-gas entropy, log_p being ln(p / 1e5).
double s0_at(const thermo_aungier_t& gas, double T, double log_p) {
    // sum for k >= 2 of cp0(k) T^(k-1) / (k - 1), by Horner's scheme.
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 2; --k) sum = sum * T + gas.cp0(k) / (k - 1);
    sum = sum * T;
    return gas.cp0(1) * std::log(T) + sum - gas.r * log_p + gas.s_off;
}

// cp0 + cpr, hr + h0 and s0 + sr at a state, as the operations sum them.
double cp_at(const thermo_aungier_t& gas, const state_t& st) {
    return cp0(gas, st.T) + cpr_at(gas, st, alpha_at(gas, st, dp_dv(gas, st)));
}

double h_at(const thermo_aungier_t& gas, const state_t& st) { return hr_at(gas, st) + h0(gas, st.T); }

double s_at(const thermo_aungier_t& gas, const state_t& st, double log_p) {
    return s0_at(gas, st.T, log_p) + sr_at(gas, st, log_p);
}

}  // namespace

double compressibility_factor_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    return largest_root(gas, p, T, gas.eos_a0 * std::pow(T / gas.T_crit, -gas.eos_n));
}

double isothermal_compressibility_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    const state_t st = state_at(gas, p, T);
    return kappa_at(st, dp_dv(gas, st));
}

double isobaric_expansion_coeff_pt_aungier(const thermo_aungier_t& gas, double p, double T) {
    const state_t st = state_at(gas, p, T);
    return alpha_at(gas, st, dp_dv(gas, st));
}

double hr(const thermo_aungier_t& gas, double p, double T) { return hr_at(gas, state_at(gas, p, T)); }

double sr(const thermo_aungier_t& gas, double p, double T) {
    return sr_at(gas, state_at(gas, p, T), log_pressure_ratio(p));
}

double cpr(const thermo_aungier_t& gas, double p, double T) {
    const state_t st = state_at(gas, p, T);
    return cpr_at(gas, st, alpha_at(gas, st, dp_dv(gas, st)));
}

double cp0(const thermo_aungier_t& gas, double T) {
    double sum = 0.0;
    for (int k = gas.cp0.size(); k >= 1; --k) sum = sum * T + gas.cp0(k);
    return sum;
}

double h0(const thermo_aungier_t& gas, double T) { return gas.h_off + cp0_integral(gas, T); }

double s0(const thermo_aungier_t& gas, double p, double T) { return s0_at(gas, T, log_pressure_ratio(p)); }

double h(const thermo_aungier_t& gas, double p, double T) { return h0(gas, T) + hr(gas, p, T); }

double cp(const thermo_aungier_t& gas, double p, double T) { return cp0(gas, T) + cpr(gas, p, T); }

double s(const thermo_aungier_t& gas, double p, double T) {
    const double log_p = log_pressure_ratio(p);
    return s0_at(gas, T, log_p) + sr_at(gas, state_at(gas, p, T), log_p);
}

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

    // The reference state: its volume enters the entropy departure, and the offsets, computed
    // with both still 0, put h and s there at h_std and s_std.
    const aungier::state_t ref = aungier::state_at(gas, p_std, T_std);
    gas.v_ref = ref.v;
    const double log_p_ref = aungier::log_pressure_ratio(p_std);
    gas.h_off = h_std - (aungier::cp0_integral(gas, T_std) + aungier::hr_at(gas, ref));
    gas.s_off = s_std - (aungier::s0_at(gas, T_std, log_p_ref) + aungier::sr_at(gas, ref, log_p_ref));

    gas.read_transport(*table, "aungier.");
    return gas;
}

double thermo_aungier_t::density_pt(double p, double T) const {
    return p / (r * aungier::compressibility_factor_pt_aungier(*this, p, T) * T);
}

double thermo_aungier_t::enthalpy_pt(double p, double T) const {
    return aungier::h_at(*this, aungier::state_at(*this, p, T));
}

double thermo_aungier_t::entropy_pt(double p, double T) const {
    return aungier::s_at(*this, aungier::state_at(*this, p, T), aungier::log_pressure_ratio(p));
}

double thermo_aungier_t::specific_heat_pressure_pt(double p, double T) const {
    return aungier::cp_at(*this, aungier::state_at(*this, p, T));
}

double thermo_aungier_t::sound_speed_pt(double p, double T) const {
    const aungier::state_t st = aungier::state_at(*this, p, T);
    const double dp_dv = aungier::dp_dv(*this, st);
    const double alpha = aungier::alpha_at(*this, st, dp_dv);
    const double kappa_T = aungier::kappa_at(st, dp_dv);
    const double cp = aungier::cp0(*this, T) + aungier::cpr_at(*this, st, alpha);
    const double v = st.v;
    return std::sqrt((cp / (cp - T * v * (alpha * alpha) / kappa_T)) * (v / kappa_T));
}

// Newton on T at fixed p.
double thermo_aungier_t::temperature_hp(double h, double p) const {
    double T = T_std;
    for (int it = 1; it <= max_iterations; ++it) {
        const aungier::state_t st = aungier::state_at(*this, p, T);
        const double cp = aungier::cp_at(*this, st);
        const double dT = (h - aungier::h_at(*this, st)) / cp;
        T = T + dT;
        if (std::abs(dT) < newton_rtol * T) break;
    }
    return T;
}

double thermo_aungier_t::temperature_ps(double p, double s) const {
    const double log_p = aungier::log_pressure_ratio(p);
    double T = T_std;
    for (int it = 1; it <= max_iterations; ++it) {
        const aungier::state_t st = aungier::state_at(*this, p, T);
        const double cp = aungier::cp_at(*this, st);
        const double dT = (s - aungier::s_at(*this, st, log_p)) * (T / cp);
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
        const aungier::state_t st = aungier::state_at(*this, p, T);
        const double cp = aungier::cp_at(*this, st);
        const double rho = p / (st.Z * r * T);
        const double dh = h - aungier::h_at(*this, st);
        const double ds = s - aungier::s_at(*this, st, aungier::log_pressure_ratio(p));
        const double dp = (dh - T * ds) * rho;
        const double dT = dh / cp;
        p = p + dp;
        T = T + dT;
        if (std::abs(dp) < newton_rtol * p && std::abs(dT) < newton_rtol * T) break;
    }
    return p;
}

double thermo_aungier_t::density_hp(double h, double p) const { return density_pt(p, temperature_hp(h, p)); }

double thermo_aungier_t::density_ps(double p, double s) const { return density_pt(p, temperature_ps(p, s)); }

double thermo_aungier_t::entropy_hp(double h, double p) const { return entropy_pt(p, temperature_hp(h, p)); }

double thermo_aungier_t::enthalpy_ps(double p, double s) const { return enthalpy_pt(p, temperature_ps(p, s)); }

}  // namespace quorl

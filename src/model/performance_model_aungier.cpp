#include "performance_model_aungier.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "flowfield.hpp"
#include "job_file.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "optimize.hpp"

namespace quorl {

namespace {

// Constants written as float literals widened to double, such as double(0.242f), are correlation
// coefficients taken at single precision: the model is defined with those values. The other
// literals are plain doubles.

// P40 = p40_0 - p40_2 q^2 + p40_3 q^3 - p40_4 q^4 is the stalling-incidence polynomial of
// F2 <= 40 at F2 = 40, its coefficients evaluated in single precision.
constexpr double p40_0 = 7.496967315673828;
constexpr double p40_2 = 4.299995422363281;
constexpr double p40_3 = 1.6000003814697266;
constexpr double p40_4 = 2.1999998092651367;

// Exit flow angles from tangential are capped 1 deg short of axial: in the loss (F2, which keeps
// the angle ratio q = (90 - A1) / (90 - F2) finite) and in the supersonic deviation (B2 + d).
constexpr double max_exit_angle = 89.0;   // deg
// The incidence factor of the profile loss grows without bound with the incidence parameter on
// either side; it is capped before Kmod applies.
constexpr double max_incidence_factor = 20.0;
// The rows carry no trailing-edge thickness: it is taken as 2 % of the pitch.
constexpr double te_thickness_per_pitch = double(0.02f);

// Relative speed and flow angle at a point of quasi-normal i on streamline j.
struct relative_flow {
    double W;      // m/s
    double beta;   // deg, atan2 of wt over cm
};

relative_flow relative_flow_at(int i, int j) {
    const double w = wt(i, j);
    const double c = flowfield().cm(i, j);
    return {std::sqrt(w * w + c * c), atan2d(w, c)};
}

double mach_number_at(int i, int j, double W) {
    const flowfield_state& ff = flowfield();
    return W / ff.gas->sound_speed_pt(ff.p(i, j), ff.t(i, j));
}

// Compressibility correction of the profile and secondary loss. J = min(M1, 0.566) and
// K2 = min(M2, 1), written with |.|; the loss falls with the exit Mach number above 0.2.
double kp(double M1, double M2) {
    const double J = ((M1 + double(0.566f)) - std::fabs(double(0.566f) - M1)) / 2.0;
    const double K2 = ((M2 + 1.0) - std::fabs(M2 - 1.0)) / 2.0;
    const double K1 = 1.0 - 0.625 * ((K2 - double(0.2f)) + std::fabs(K2 - double(0.2f)));
    // The small term keeps the ratio defined when both Mach numbers are 0.
    const double ratio = (2.0 * J) / (((J + K2) + std::fabs(K2 - J)) + double(1e-16f));
    return 1.0 - (1.0 - K1) * (ratio * ratio);
}

// Reynolds-number correction, from the exit Reynolds number on the chord: 1 from Re = 1e5 to
// 5e5, sqrt(1e5 / Re) below; above, it falls with log10 Re on a smooth wall, and keeps its
// value at Rr = 100 c / roughness from Re = Rr on, where the wall's roughness takes over
// (blended toward 1 when Rr lies below 5e5).
double kre(double Re, double c, double surface_roughness) {
    constexpr double log10_5e5 = double(5.69897f);   // log10(5e5) to six figures
    if (Re <= 1e5) return std::sqrt(1e5 / Re);
    if (Re < 5e5) return 1.0;
    const double Rr = (100.0 * c) / surface_roughness;
    if (Re < Rr) return std::pow(log10_5e5 / std::log10(Re), double(2.58f));
    double K = std::pow(log10_5e5 / std::log10(Rr), double(2.58f));
    if (Rr < 5e5) K = 1.0 + (K - 1.0) * (1.0 - 5e5 / Re);
    return K;
}

// Incidence factor of the profile loss from the incidence parameter xi; 0 when xi is no number.
double incidence_factor(double xi) {
    if (xi < -3.0) return -double(1.39214f) - double(1.90738f) * xi;
    if (xi < 0.0) return 1.0 + double(0.52f) * std::pow(std::fabs(xi), double(1.7f));
    if (xi < double(1.7f)) return 1.0 + std::pow(xi, double(2.3f) + 0.5 * xi);
    if (xi >= double(1.7f)) return double(6.23f) + double(9.8577f) * (xi - double(1.7f));
    return 0.0;
}

// Stalling incidence (deg) for the exit flow angle F2 and the angle ratio q.
double stalling_incidence(double F2, double q) {
    const double base = 20.0 - (q + 1.0) / double(0.11f);
    const double q2 = q * q;
    const double q3 = q * q * q;
    const double q4 = q * q * q * q;
    if (F2 <= 40.0) {
        return base + (double(61.8f) - (double(1.6f) - F2 / 165.0) * F2) -
               (double(71.9f) - double(1.69f) * F2) * q2 + (double(7.8f) - (double(0.28f) - F2 / 320.0) * F2) * q3 +
               (double(14.2f) - (double(0.16f) + F2 / 160.0) * F2) * q4;
    }
    const double P40 = p40_0 - p40_2 * q2 + p40_3 * q3 - p40_4 * q4;
    return base + (P40 * (55.0 - F2)) / 15.0;
}

// Pitch correction of the stalling incidence (deg).
double stalling_incidence_pitch_correction(double s_c, double F2) {
    if (s_c <= double(0.8f)) {
        const double u = s_c - 0.75;
        return (-38.0 * u - 53.5 * (u * u)) - 29.0 * (u * u * u);
    }
    return -double(2.0374f) -
           (double(69.58f) - std::pow(F2 / double(14.48f), double(3.1f))) * (s_c - double(0.8f));
}

// Impulse-blade (Ya) and nozzle-blade (Yb) profile losses.
double impulse_profile_loss(double s_c, double F2) {
    const double f = F2 / 90.0;
    const double x = s_c - ((double(0.224f) + double(1.575f) * f) - f * f);
    const double a = F2 / 127.0;
    const double b = F2 / double(72.8f);
    return (((double(0.242f) - F2 / 151.0) + a * a) + x * x) -
           (x * x * x) * ((double(0.88f) - F2 / double(42.4f)) + b * b);
}

double nozzle_profile_loss(double s_c, double F2) {
    if (F2 <= 30.0) {
        const double x = s_c - (double(0.46f) + F2 / 77.0);
        const double D = F2 <= 27.0 ? 530.0 : 3085.0;
        const double f = F2 / 30.0;
        return ((double(0.025f) + (27.0 - F2) / D) + (double(0.1583f) - F2 / 1640.0) * (x * x)) +
               (double(0.08f) * (f * f - 1.0)) * (x * x * x);
    }
    const double x = std::fabs(s_c - (double(0.614f) + F2 / 130.0));
    return (double(0.025f) + (27.0 - F2) / 3085.0) + (double(0.1583f) - F2 / 1640.0) * std::pow(x, 1.0 + F2 / 30.0);
}

double cotd(double x) { return 1.0 / tand(x); }

}  // namespace

void create_performance_model_aungier(std::unique_ptr<performance_model_t>& model, int k, const toml::table& table) {
    const double Kmod = get_real_or_stop(table, "Kmod", 1.0, "performance_model.");
    const double surface_roughness = get_real_or_stop(table, "surface_roughness", 1e-16, "performance_model.");

    model.reset();
    model = std::make_unique<performance_model_aungier_t>(machine().blade_row(k), Kmod, surface_roughness);
}

double performance_model_aungier_t::pressure_loss(int i1, int i2, int j) const {
    const mesh_state& msh = mesh();
    const flowfield_state& ff = flowfield();
    const int N = msh.number_of_streamlines;

    const double b1m = row.inlet_angle.at(msh.y(i1, j));
    const double b2m = row.outlet_angle.at(msh.y(i2, j));
    const double c = row.chord.at(msh.y(i2, j));
    const double tc = row.relative_thickness.at(msh.y(i2, j));
    const double s = (two_pi * msh.r(i2, j)) / static_cast<double>(row.number_of_blades);
    // Blade height: the span along the trailing edge between hub and shroud. The parameter of the
    // shroud point alone is the span only when the trimmed edge starts exactly at the hub.
    const double H = msh.y(i2, N) - msh.y(i2, 1);
    const double bx = msh.z(i2, j) - msh.z(i1, j);

    const relative_flow in = relative_flow_at(i1, j);
    const relative_flow out = relative_flow_at(i2, j);
    const double M1 = mach_number_at(i1, j, in.W);
    const double M2 = mach_number_at(i2, j, out.W);

    const double A1 = 90.0 - b1m;
    const double B2 = b2m + 90.0;
    const double F1 = 90.0 - in.beta;
    double F2 = out.beta + 90.0;
    if (F2 > max_exit_angle) F2 = max_exit_angle;
    const double q = (90.0 - A1) / (90.0 - F2);
    const double t_te = te_thickness_per_pitch * s;
    const double g = 90.0 - (A1 + B2) / 2.0;
    const double s_c = s / c;

    // Profile loss: impulse and nozzle blades blended by the angle ratio.
    const double Ya = impulse_profile_loss(s_c, F2);
    const double Yb = nozzle_profile_loss(s_c, F2);
    const double Yp = (Yb + (q * q) * (Ya - Yb)) * std::pow(5.0 * tc, q);

    // Incidence factor, relative to the stalling incidence corrected for pitch.
    const double is = stalling_incidence(F2, q);
    const double Dis = stalling_incidence_pitch_correction(s_c, F2);
    const double xi = (F1 - A1) / (is + Dis);
    double Kinc = std::fmin(incidence_factor(xi), max_incidence_factor) * Kmod;

    // A near-sonic exit, 0.6 < M2 <= 1, raises the incidence factor.
    if (double(0.6f) < M2 && M2 <= 1.0) {
        const double dM = M2 - double(0.6f);
        Kinc = Kinc * (1.0 + (240.0 * (dM * dM * dM * dM) + double(1.65f) * dM) *
                                 std::pow(((2.0 * s) * sind(g)) / c, 3.0 * M2 - double(0.6f)));
    }

    const double te = t_te / (s * sind(B2) - t_te);
    const double Yte = te * te;

    const double Kp = kp(M1, M2);
    const double Re = ((ff.rho(i2, j) * out.W) * c) / ff.gas->viscosity_pt(ff.p(i2, j), ff.t(i2, j));
    const double Kre = kre(Re, c, surface_roughness);

    const double Yp_corrected = (Yp - Yte) * Kinc * Kp * Kre;

    // Secondary loss.
    const double cot_F1 = cotd(F1);
    const double cot_F2 = cotd(F2);
    const double am = 90.0 - atand(cot_F1 - cot_F2 / 2.0);
    const double f_AR = H / c < 2.0 ? 0.5 * std::pow((2.0 * c) / H, double(0.7f)) : c / H;
    const double sum_cot = 2.0 * (cot_F1 + cot_F2);
    const double sin_F2 = sind(F2);
    const double sin_am = sind(am);
    const double Ys0 = double(0.0334f) * f_AR * (sum_cot * sum_cot) * (sin_F2 * sin_F2) /
                       (sin_am * sin_am * sin_am) * sin_F2 / sind(A1);
    const double bx_H = bx / H;
    const double Ks = 1.0 - ((1.0 - Kp) * (bx_H * bx_H)) / (1.0 + bx_H * bx_H);
    // Ys0 limited smoothly: Ys stays below 1 / sqrt(7.5) = 0.365 (times Ks Kre).
    const double Ys = std::sqrt((Ys0 * Ys0) / (1.0 + 7.5 * (Ys0 * Ys0))) * Ks * Kre;

    return Yte + (Ys + Yp_corrected);
}

namespace {

// What the deviation reads of the row and of the leading edge at one streamline. None of it
// changes while the trailing edge is solved: the outlet angle is read at the trailing edge's
// mesh point (moved only between solves), the mass flux is the leading edge's, which the solve
// of the trailing edge does not write.
struct exit_blading {
    double B2;           // outlet metal angle from tangential, deg
    double sin_B2;       // sind(B2)
    double B2_90_sq;     // (B2 / 90)^2
    double mass_flux1;   // rho cm at the leading-edge point, kg/(m2 s)
};

exit_blading exit_blading_at(const blade_row_t& row, int i1, int i2, int j) {
    const flowfield_state& ff = flowfield();
    exit_blading e{};
    const double b2m = row.outlet_angle.at(mesh().y(i2, j));
    e.B2 = b2m + 90.0;
    e.sin_B2 = sind(e.B2);
    const double b = e.B2 / 90.0;
    e.B2_90_sq = b * b;
    e.mass_flux1 = ff.rho(i1, j) * ff.cm(i1, j);
    return e;
}

double deviation_at(const exit_blading& e, int i2, int j) {
    const flowfield_state& ff = flowfield();
    const double B2 = e.B2;
    const relative_flow out = relative_flow_at(i2, j);
    const double M2 = mach_number_at(i2, j, out.W);

    // sin B2 scaled by 0.2 x + 0.8 = 1 + 0.2 (x - 1), x = rho2 cm2 / (rho1 cm1) the ratio of the
    // meridional mass fluxes at exit and inlet.
    const double o = (((double(0.2f) * ff.rho(i2, j)) * ff.cm(i2, j)) / e.mass_flux1 + double(0.8f)) * e.sin_B2;

    if (M2 < 1.0) {
        double d = asind(o * (1.0 + (1.0 - o) * e.B2_90_sq)) - B2;
        if (M2 >= 0.5) {
            // From M2 = 0.5 the deviation fades to 0 at M2 = 1 (a smooth step in v = 2 M2 - 1).
            const double v = 2.0 * M2 - 1.0;
            d = d * (((1.0 - 10.0 * (v * v * v)) + 15.0 * (v * v * v * v)) - 6.0 * (v * v * v * v * v));
        }
        return d;
    }
    // An exit Mach number that is not a number is neither subsonic nor supersonic.
    if (!(M2 >= 1.0)) return std::numeric_limits<double>::quiet_NaN();

    // Supersonic exit: the throat passes the sonic state of the relative total state at the exit.
    const thermo_t& gas = *ff.gas;
    const double ct2 = ff.ct(i2, j);
    const double wt2 = wt(i2, j);
    const double I = (ff.htot(i2, j) - (ct2 * ct2) / 2.0) + (wt2 * wt2) / 2.0;
    const double s2 = ff.s(i2, j);
    const double at = relative_total_sound_speed(gas, I, s2);
    const double W_sonic = sonic_relative_speed(gas, I, s2, 2.0 * at);
    const double p_sonic = gas.pressure_hs(I - (W_sonic * W_sonic) / 2.0, s2);
    const double rho_sonic = gas.density_ps(p_sonic, s2);

    const double d = asind(((o * rho_sonic) * W_sonic) / (ff.rho(i2, j) * out.W)) - B2;
    const double d_max = max_exit_angle - B2;
    return d < d_max ? d : d_max;
}

// One solve of the row's trailing edge i2: the blading of every streamline, read once.
class aungier_context_t final : public performance_context_t {
public:
    aungier_context_t(const performance_model_aungier_t& model, int i1, int i2) : model(model), i1(i1), i2(i2) {
        const int n = mesh().number_of_streamlines;
        blading.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
        for (int j = 1; j <= n; ++j) blading.push_back(exit_blading_at(model.row, i1, i2, j));
    }

    double deviation(int j) const override { return deviation_at(blading[static_cast<std::size_t>(j - 1)], i2, j); }
    double pressure_loss(int j) const override { return model.pressure_loss(i1, i2, j); }

private:
    const performance_model_aungier_t& model;
    int i1;
    int i2;
    std::vector<exit_blading> blading;   // streamlines 1..n
};

}  // namespace

double performance_model_aungier_t::deviation(int i1, int i2, int j) const {
    return deviation_at(exit_blading_at(row, i1, i2, j), i2, j);
}

std::unique_ptr<performance_context_t> performance_model_aungier_t::solve_context(int i1, int i2) const {
    return std::make_unique<aungier_context_t>(*this, i1, i2);
}

double performance_model_aungier_t::incidence(int i1, int, int j) const { return incidence_of_row(row, i1, j); }

}  // namespace quorl

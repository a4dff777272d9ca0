#include "performance_model_aungier.hpp"

#include <cmath>
#include <limits>

#include "flowfield.hpp"
#include "job_file.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "optimize.hpp"

namespace quorl {

namespace {

// The correlation constants are single-precision numbers widened to double; each is named after
// the value as written (c0_242 is 0.242).
constexpr double c0_242 = 0.24199999868869781;
constexpr double c0_224 = 0.2240000069141388;
constexpr double c1_575 = 1.5750000476837158;
constexpr double c0_88 = 0.8799999952316284;
constexpr double c42_4 = 42.400001525878906;
constexpr double c72_8 = 72.80000305175781;
constexpr double c0_46 = 0.46000000834465027;
constexpr double c0_1583 = 0.1582999974489212;
constexpr double c0_025 = 0.02500000037252903;
constexpr double c0_08 = 0.07999999821186066;
constexpr double c0_614 = 0.6140000224113464;
constexpr double c0_11 = 0.10999999940395355;
constexpr double c61_8 = 61.79999923706055;
constexpr double c1_6 = 1.600000023841858;
constexpr double c71_9 = 71.9000015258789;
constexpr double c1_69 = 1.690000057220459;
constexpr double c7_8 = 7.800000190734863;
constexpr double c0_28 = 0.2800000011920929;
constexpr double c14_2 = 14.199999809265137;
constexpr double c0_16 = 0.1599999964237213;
constexpr double c0_8 = 0.800000011920929;
constexpr double c2_0374 = 2.037400007247925;
constexpr double c69_58 = 69.58000183105469;
constexpr double c14_48 = 14.479999542236328;
constexpr double c3_1 = 3.0999999046325684;
constexpr double c1_39214 = 1.3921400308609009;
constexpr double c1_90738 = 1.9073799848556519;
constexpr double c0_52 = 0.5199999809265137;
constexpr double c1_7 = 1.7000000476837158;
constexpr double c2_3 = 2.299999952316284;
constexpr double c6_23 = 6.230000019073486;
constexpr double c9_8577 = 9.85770034790039;
constexpr double c0_6 = 0.6000000238418579;
constexpr double c1_65 = 1.649999976158142;
constexpr double c0_02 = 0.019999999552965164;
constexpr double c0_0334 = 0.033399999141693115;
constexpr double c0_7 = 0.699999988079071;
constexpr double c0_566 = 0.5659999847412109;
constexpr double c0_2 = 0.20000000298023224;
constexpr double c1em16 = 1.0000000168623835e-16;
constexpr double c5_69897 = 5.698969841003418;
constexpr double c2_58 = 2.5799999237060547;

// The stalling-incidence polynomial at F2 = 40, coefficients rounded to single precision.
constexpr double p40_0 = 7.496967315673828;
constexpr double p40_2 = 4.299995422363281;
constexpr double p40_3 = 1.6000003814697266;
constexpr double p40_4 = 2.1999998092651367;

constexpr double sonic_xtol = 1e-6;

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

// Compressibility correction of the profile and secondary loss.
double kp(double M1, double M2) {
    const double J = ((M1 + c0_566) - std::fabs(c0_566 - M1)) / 2.0;
    const double K2 = ((M2 + 1.0) - std::fabs(M2 - 1.0)) / 2.0;
    const double K1 = 1.0 - 0.625 * ((K2 - c0_2) + std::fabs(K2 - c0_2));
    const double ratio = (2.0 * J) / (((J + K2) + std::fabs(K2 - J)) + c1em16);
    return 1.0 - (1.0 - K1) * (ratio * ratio);
}

// Reynolds-number correction, from the exit Reynolds number on the chord.
double kre(double Re, double c, double surface_roughness) {
    if (Re <= 1e5) return std::sqrt(1e5 / Re);
    if (Re < 5e5) return 1.0;
    const double Rr = (100.0 * c) / surface_roughness;
    if (Re < Rr) return std::pow(c5_69897 / std::log10(Re), c2_58);
    double K = std::pow(c5_69897 / std::log10(Rr), c2_58);
    if (Rr < 5e5) K = 1.0 + (K - 1.0) * (1.0 - 5e5 / Re);
    return K;
}

// Incidence factor of the profile loss from the incidence parameter xi; 0 when xi is no number.
double incidence_factor(double xi) {
    if (xi < -3.0) return -c1_39214 - c1_90738 * xi;
    if (xi < 0.0) return 1.0 + c0_52 * std::pow(std::fabs(xi), c1_7);
    if (xi < c1_7) return 1.0 + std::pow(xi, c2_3 + 0.5 * xi);
    if (xi >= c1_7) return c6_23 + c9_8577 * (xi - c1_7);
    return 0.0;
}

// Stalling incidence (deg) for the exit flow angle F2 and the angle ratio q.
double stalling_incidence(double F2, double q) {
    const double base = 20.0 - (q + 1.0) / c0_11;
    const double q2 = q * q;
    const double q3 = q * q * q;
    const double q4 = q * q * q * q;
    if (F2 <= 40.0) {
        return base + (c61_8 - (c1_6 - F2 / 165.0) * F2) - (c71_9 - c1_69 * F2) * q2 +
               (c7_8 - (c0_28 - F2 / 320.0) * F2) * q3 + (c14_2 - (c0_16 + F2 / 160.0) * F2) * q4;
    }
    const double P40 = p40_0 - p40_2 * q2 + p40_3 * q3 - p40_4 * q4;
    return base + (P40 * (55.0 - F2)) / 15.0;
}

// Pitch correction of the stalling incidence (deg).
double stalling_incidence_pitch_correction(double s_c, double F2) {
    if (s_c <= c0_8) {
        const double u = s_c - 0.75;
        return (-38.0 * u - 53.5 * (u * u)) - 29.0 * (u * u * u);
    }
    return -c2_0374 - (c69_58 - std::pow(F2 / c14_48, c3_1)) * (s_c - c0_8);
}

// Impulse-blade (Ya) and nozzle-blade (Yb) profile losses.
double impulse_profile_loss(double s_c, double F2) {
    const double f = F2 / 90.0;
    const double x = s_c - ((c0_224 + c1_575 * f) - f * f);
    const double a = F2 / 127.0;
    const double b = F2 / c72_8;
    return (((c0_242 - F2 / 151.0) + a * a) + x * x) - (x * x * x) * ((c0_88 - F2 / c42_4) + b * b);
}

double nozzle_profile_loss(double s_c, double F2) {
    if (F2 <= 30.0) {
        const double x = s_c - (c0_46 + F2 / 77.0);
        const double D = F2 <= 27.0 ? 530.0 : 3085.0;
        const double f = F2 / 30.0;
        return ((c0_025 + (27.0 - F2) / D) + (c0_1583 - F2 / 1640.0) * (x * x)) +
               (c0_08 * (f * f - 1.0)) * (x * x * x);
    }
    return (c0_025 + (27.0 - F2) / 3085.0) +
           (c0_1583 - F2 / 1640.0) * std::pow(std::fabs(s_c - (c0_614 + F2 / 130.0)), 1.0 + F2 / 30.0);
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
    if (F2 > 89.0) F2 = 89.0;
    const double q = (90.0 - A1) / (90.0 - F2);
    const double t_te = c0_02 * s;
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
    double Kinc = std::fmin(incidence_factor(xi), 20.0) * Kmod;

    if (c0_6 < M2 && M2 <= 1.0) {
        const double dM = M2 - c0_6;
        Kinc = Kinc * (1.0 + (240.0 * (dM * dM * dM * dM) + c1_65 * dM) *
                                 std::pow(((2.0 * s) * sind(g)) / c, 3.0 * M2 - c0_6));
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
    const double f_AR = H / c < 2.0 ? 0.5 * std::pow((2.0 * c) / H, c0_7) : c / H;
    const double sum_cot = 2.0 * (cot_F1 + cot_F2);
    const double sin_F2 = sind(F2);
    const double sin_am = sind(am);
    const double Ys0 = c0_0334 * f_AR * (sum_cot * sum_cot) * (sin_F2 * sin_F2) / (sin_am * sin_am * sin_am) *
                       sin_F2 / sind(A1);
    const double bx_H = bx / H;
    const double Ks = 1.0 - ((1.0 - Kp) * (bx_H * bx_H)) / (1.0 + bx_H * bx_H);
    const double Ys = std::sqrt((Ys0 * Ys0) / (1.0 + 7.5 * (Ys0 * Ys0))) * Ks * Kre;

    return Yte + (Ys + Yp_corrected);
}

double performance_model_aungier_t::deviation(int i1, int i2, int j) const {
    const mesh_state& msh = mesh();
    const flowfield_state& ff = flowfield();

    const double b2m = row.outlet_angle.at(msh.y(i2, j));
    const double B2 = b2m + 90.0;
    const relative_flow out = relative_flow_at(i2, j);
    const double M2 = mach_number_at(i2, j, out.W);

    const double o = (((c0_2 * ff.rho(i2, j)) * ff.cm(i2, j)) / (ff.rho(i1, j) * ff.cm(i1, j)) + c0_8) * sind(B2);

    if (M2 < 1.0) {
        const double b = B2 / 90.0;
        double d = asind(o * (1.0 + (1.0 - o) * (b * b))) - B2;
        if (M2 >= 0.5) {
            // Fades the deviation out toward sonic exit flow.
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
    const double pt = gas.pressure_hs(I, s2);
    const double Tt = gas.temperature_ps(pt, s2);
    const double at = gas.sound_speed_pt(pt, Tt);

    // Residual: speed of sound of the state expanded to relative speed w, minus w.
    const auto f_sonic = [&gas, I, s2](double w) {
        const double hw = I - (w * w) / 2.0;
        const double pw = gas.pressure_hs(hw, s2);
        const double Tw = gas.temperature_hp(hw, pw);
        return gas.sound_speed_pt(pw, Tw) - w;
    };
    const double W_sonic = bisect(f_sonic, 0.0, 2.0 * at, sonic_xtol);
    const double p_sonic = gas.pressure_hs(I - (W_sonic * W_sonic) / 2.0, s2);
    const double rho_sonic = gas.density_ps(p_sonic, s2);

    const double d = asind(((o * rho_sonic) * W_sonic) / (ff.rho(i2, j) * out.W)) - B2;
    const double d_max = 89.0 - B2;
    return d < d_max ? d : d_max;
}

double performance_model_aungier_t::incidence(int i1, int, int j) const { return incidence_of_row(row, i1, j); }

}  // namespace quorl

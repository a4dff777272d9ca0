#include "performance_model_lieblein.hpp"

#include <algorithm>
#include <cmath>

#include "flowfield.hpp"
#include "job_file.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "optimize.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

// Constants written as float literals widened to double, such as double(0.28f), are correlation
// coefficients taken at single precision: the model is defined with those values.

constexpr double angle_xtol = 1e-6;   // tolerance of the two angle bisections
constexpr double guard = 1e-10;       // keeps the velocity ratio finite for zero Cm

const std::vector<double> default_m1 = {0.17, -0.0333, 0.333};

// Geometry and inlet flow of one streamline of the row. None of it changes while the row's
// trailing edge is solved: the tables are read at the mesh points (moved only between solves),
// and the flow is that of the leading edge, which the solve of the trailing edge does not write.
struct cascade_point {
    double sigma;    // solidity
    double tb;       // relative thickness
    double beta1m;   // inlet blade angle, deg
    double beta2m;   // outlet blade angle, deg
    double theta;    // camber, deg
    double wt1;      // relative swirl at the leading-edge point, m/s
    double beta1;    // inlet relative flow angle, deg
    double beta1c;   // beta1 limited to [0, 70]
    double cm1;      // meridional velocity at the leading-edge point, m/s
};

cascade_point cascade_at(const blade_row_t& row, int i1, int i2, int j) {
    const mesh_state& msh = mesh();
    const flowfield_state& ff = flowfield();
    cascade_point c{};
    const double Z = static_cast<double>(row.number_of_blades);
    const double pitch = two_pi * msh.r(i1, j) / Z;
    const double y1 = msh.y(i1, j);
    c.sigma = row.chord.at(y1) / pitch;
    c.tb = row.relative_thickness.at(y1);
    c.beta1m = row.inlet_angle.at(y1);
    c.beta2m = row.outlet_angle.at(msh.y(i2, j));
    c.theta = c.beta1m - c.beta2m;
    c.cm1 = ff.cm(i1, j);
    c.wt1 = wt(i1, j);
    c.beta1 = atan2d(c.wt1, c.cm1);
    c.beta1c = std::max(std::min(c.beta1, 70.0), 0.0);
    return c;
}

// Design (minimum-loss) incidence i*, deg.
double design_incidence_at(const cascade_point& c, double Ksh) {
    const double sigma3 = c.sigma * c.sigma * c.sigma;

    const double q = double(0.28f) / (double(0.1f) + std::pow(c.tb, double(0.3f)));
    const double i010 =
        std::pow(c.beta1c, double(0.914f) + sigma3 / 160.0) / (5.0 + 46.0 * std::exp(-double(2.3f) * c.sigma)) -
        double(0.1f) * sigma3 * std::exp((c.beta1c - 70.0) * 0.25);
    const double n = double(0.025f) * c.sigma - double(0.06f) -
                     std::pow(c.beta1c / 90.0, 1.0 + double(1.2f) * c.sigma) / (1.5 + double(0.43f) * c.sigma);
    return std::pow(10.0 * c.tb, q) * Ksh * i010 + n * c.theta;
}

// Design deviation delta*, deg; m1 holds the coefficients of the camber slope polynomial.
double design_deviation_at(const cascade_point& c, double Ksh, const std::vector<double>& m1) {
    const double x = c.beta1c / 100.0;

    double P = 0.0;
    if (!m1.empty()) {
        P = m1.back();
        for (auto it = m1.rbegin() + 1; it != m1.rend(); ++it) P = P * x + *it;
    }
    const double b = double(0.9625f) - double(0.17f) * x - double(0.85f) * (x * x * x);
    const double m = P / std::pow(c.sigma, b);
    const double delta010 = (double(0.74f) * std::pow(c.sigma, double(1.9f)) + 3.0 * c.sigma) *
                                std::pow(c.beta1c / 90.0, double(1.09f) * c.sigma + double(1.67f)) +
                            double(0.01f) * c.sigma * c.beta1c;
    return m * c.theta + Ksh * (6.25 * c.tb + 37.5 * (c.tb * c.tb)) * delta010;
}

// The bracket 1.12 + 0.61 cos^2(beta1*) / sigma (tan beta1* - tan beta2*) shared by the
// equivalent diffusion ratio and the critical Mach number.
double diffusion_bracket(double beta1_star, double beta2_star, double sigma) {
    const double c1 = cosd(beta1_star);
    return double(1.12f) + double(0.61f) * (c1 * c1) / sigma * (tand(beta1_star) - tand(beta2_star));
}

// Design loss from the design incidence and deviation of the same point.
lieblein_design_loss_t design_loss_at(const cascade_point& c, double cm2, double i_star, double delta_star,
                                      double K1, double K2) {
    lieblein_design_loss_t d;
    d.beta1_star = c.beta1m + i_star;
    d.beta2_star = c.beta2m + delta_star;
    d.R = (std::fabs(c.cm1) * cosd(d.beta2_star)) / (std::fabs(cm2) * cosd(d.beta1_star));
    d.Deq = diffusion_bracket(d.beta1_star, d.beta2_star, c.sigma) * d.R;
    const double X = (d.Deq - 1.0) * (d.Deq - 1.0);
    d.omega_star = K1 * (K2 + double(3.1f) * X + double(0.4f) * (X * X * X * X)) * 2.0 * c.sigma /
                   cosd(d.beta2_star) / (d.R * d.R);
    return d;
}

// What the deviation and the loss derive from the cascade point alone, and so also fixed while
// the trailing edge is solved.
struct cascade_design {
    cascade_point c;
    double i_star;       // design incidence, deg
    double delta_star;   // design deviation, deg
    // (beta1 - beta1m - i*) slope + delta*: the deviation before its velocity-ratio term.
    double deviation_base;
};

cascade_design design_at(const cascade_point& c, double Ksh, const std::vector<double>& m1) {
    cascade_design d{c, design_incidence_at(c, Ksh), design_deviation_at(c, Ksh, m1), 0.0};
    const double sigma4 = c.sigma * c.sigma * c.sigma * c.sigma;
    const double slope =
        ((0.25 * sigma4 + c.sigma) / std::pow(c.beta1c / 53.0, 2.5) + 1.0) / std::exp(double(3.1f) * c.sigma);
    d.deviation_base = (c.beta1 - c.beta1m - d.i_star) * slope + d.delta_star;
    return d;
}

// Off-design deviation, deg, with cm2 the meridional velocity at the trailing-edge point.
double deviation_at(const cascade_design& d, double cm2) {
    const double dev = d.deviation_base + 10.0 * (1.0 - (std::fabs(cm2) + guard) / (std::fabs(d.c.cm1) + guard));
    // fmax drops a NaN deviation in favour of 0; the upper limit is taken last.
    return std::fmin(85.0 - d.c.beta2m, std::fmax(dev, 0.0));
}

// Off-design loss with its intermediate values, cm2 as in deviation_at.
lieblein_loss_t loss_at(const performance_model_lieblein_t& model, const cascade_design& d, double cm2, int i1,
                        int j) {
    const cascade_point& c = d.c;
    const double Ksh = model.Ksh;
    const flowfield_state& ff = flowfield();
    const thermo_t& gas = *ff.gas;
    lieblein_loss_t L;

    L.i_star = d.i_star;
    const double beta1_star = c.beta1m + L.i_star;
    L.delta_star = d.delta_star;
    const double beta2_star = c.beta2m + L.delta_star;

    // Stall- and choke-side limits of the inlet flow angle.
    const double theta = c.theta;
    auto f_beta1s = [&](double x) {
        return theta * (double(2.92f) - x / double(15.6f)) / double(8.2f) + double(10.3f) - (x - beta1_star);
    };
    auto f_beta1c = [&](double x) {
        return theta * (1.0 - std::pow(30.0 / x, double(0.48f))) / double(4.176f) - 9.0 - (x - beta1_star);
    };
    L.beta1s = bisect(f_beta1s, 0.0, 90.0, angle_xtol);
    L.beta1ch = bisect(f_beta1c, 20.0, 90.0, angle_xtol);
    const double is = L.beta1s - c.beta1m;
    const double ic = L.beta1ch - c.beta1m;
    const double Ds = is - L.i_star;
    const double Dc = L.i_star - ic;

    // Inlet relative Mach number and the Mach-corrected limits.
    const double p1 = ff.p(i1, j);
    const double T1 = ff.t(i1, j);
    const double wt1 = c.wt1;
    const double a1 = gas.sound_speed_pt(p1, T1);
    const double W1 = std::sqrt(wt1 * wt1 + c.cm1 * c.cm1);
    L.M1 = W1 / a1;
    const double kM1 = std::min(Ksh, 1.0) * L.M1;
    L.ic = L.i_star - Dc / (1.0 + 0.5 * (L.M1 * L.M1 * L.M1));
    L.is = L.i_star + Ds / (1.0 + 0.5 * (kM1 * kM1 * kM1));
    L.im = L.ic + (L.is - L.ic) * Dc / (Dc + Ds);

    L.omega_star = design_loss_at(c, cm2, L.i_star, L.delta_star, model.K1, model.K2).omega_star;
    const double di = L.im - L.i_star;
    L.omegam = L.omega_star * (1.0 + (di * di) / (Ds * Ds));

    // Sonic relative speed, reached by expanding the relative total state isentropically.
    const double ct1 = ff.ct(i1, j);
    const double I = ff.htot(i1, j) - ct1 * ct1 / 2.0 + wt1 * wt1 / 2.0;
    const double s1 = ff.s(i1, j);
    L.W_star = sonic_relative_speed(gas, I, s1, relative_total_sound_speed(gas, I, s1));
    L.M1c = (L.W_star / a1) / diffusion_bracket(beta1_star, beta2_star, c.sigma);

    // Supercritical inlet: extra loss growing with the Mach number above critical and with the
    // inlet speed relative to sonic.
    if (L.M1 > L.M1c) {
        const double w_ratio = W1 / L.W_star;
        L.omegam = L.omegam + Ksh * (std::min(L.M1, 1.0) / L.M1c - 1.0) * (w_ratio * w_ratio);
    }

    const double i = c.beta1 - c.beta1m;
    if (i >= L.im) {
        L.xi = (i - L.im) / (L.is - L.im);
    } else {
        L.xi = (i - L.im) / (L.im - L.ic);
    }
    const double omega = L.omegam * lieblein_incidence_loss_factor(L.xi);
    L.omega = std::isnan(omega) ? 1.0 : std::min(omega, 1.0);
    return L;
}

// One solve of the row's trailing edge i2: the design of every streamline, worked out once.
class lieblein_context_t final : public performance_context_t {
public:
    lieblein_context_t(const performance_model_lieblein_t& model, int i1, int i2) : model(model), i1(i1), i2(i2) {
        const int n = mesh().number_of_streamlines;
        design.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
        for (int j = 1; j <= n; ++j)
            design.push_back(design_at(cascade_at(model.row, i1, i2, j), model.Ksh, model.m1));
    }

    double deviation(int j) const override { return deviation_at(at(j), flowfield().cm(i2, j)); }
    double pressure_loss(int j) const override { return loss_at(model, at(j), flowfield().cm(i2, j), i1, j).omega; }

private:
    const cascade_design& at(int j) const { return design[static_cast<std::size_t>(j - 1)]; }

    const performance_model_lieblein_t& model;
    int i1;
    int i2;
    std::vector<cascade_design> design;   // streamlines 1..n
};

}  // namespace

void create_performance_model_lieblein(std::unique_ptr<performance_model_t>& model, int k,
                                       const toml::table& table) {
    const double Ksh = get_real_or_stop(table, "Ksh", 1.0, "performance_model.");
    const double K1 = get_real_or_stop(table, "K1", 0.004, "performance_model.");
    const double K2 = get_real_or_stop(table, "K2", 4.0, "performance_model.");

    std::vector<double> m1 = default_m1;
    if (const toml::array* array = get_array(table, "m1")) {
        if (array_to_reals(*array, m1) != 0) fatal("performance_model.m1 must hold only numbers");
    }

    model.reset();
    model = std::make_unique<performance_model_lieblein_t>(machine().blade_row(k), Ksh, K1, K2, std::move(m1));
}

double performance_model_lieblein_t::design_incidence(int i1, int i2, int j) const {
    return design_incidence_at(cascade_at(row, i1, i2, j), Ksh);
}

double performance_model_lieblein_t::design_deviation(int i1, int i2, int j) const {
    return design_deviation_at(cascade_at(row, i1, i2, j), Ksh, m1);
}

double performance_model_lieblein_t::deviation(int i1, int i2, int j) const {
    return deviation_at(design_at(cascade_at(row, i1, i2, j), Ksh, m1), flowfield().cm(i2, j));
}

double performance_model_lieblein_t::incidence(int i1, int, int j) const { return incidence_of_row(row, i1, j); }

lieblein_design_loss_t performance_model_lieblein_t::design_loss_terms(int i1, int i2, int j) const {
    const cascade_point c = cascade_at(row, i1, i2, j);
    return design_loss_at(c, flowfield().cm(i2, j), design_incidence_at(c, Ksh), design_deviation_at(c, Ksh, m1),
                          K1, K2);
}

double performance_model_lieblein_t::design_pressure_loss(int i1, int i2, int j) const {
    return design_loss_terms(i1, i2, j).omega_star;
}

lieblein_loss_t performance_model_lieblein_t::loss_terms(int i1, int i2, int j) const {
    return loss_at(*this, design_at(cascade_at(row, i1, i2, j), Ksh, m1), flowfield().cm(i2, j), i1, j);
}

std::unique_ptr<performance_context_t> performance_model_lieblein_t::solve_context(int i1, int i2) const {
    return std::make_unique<lieblein_context_t>(*this, i1, i2);
}

double performance_model_lieblein_t::pressure_loss(int i1, int i2, int j) const { return loss_terms(i1, i2, j).omega; }

double lieblein_incidence_loss_factor(double xi) {
    if (xi < -2.0) return 5.0 - 4.0 * (xi + 2.0);
    if (xi < 1.0) return 1.0 + xi * xi;
    return 2.0 + 2.0 * (xi - 1.0);
}

}  // namespace quorl

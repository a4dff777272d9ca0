#include "performance_model.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "flowfield.hpp"
#include "job_file.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "optimize.hpp"
#include "stop.hpp"
#include "strings.hpp"
#include "thermo.hpp"

namespace quorl {

namespace {

// The context of a model that derives nothing ahead: every call goes to the model.
class model_context_t final : public performance_context_t {
public:
    model_context_t(const performance_model_t& model, int i1, int i2) : model(model), i1(i1), i2(i2) {}
    double deviation(int j) const override { return model.deviation(i1, i2, j); }
    double pressure_loss(int j) const override { return model.pressure_loss(i1, i2, j); }

private:
    const performance_model_t& model;
    int i1;
    int i2;
};

}  // namespace

std::unique_ptr<performance_context_t> performance_model_t::solve_context(int i1, int i2) const {
    return std::make_unique<model_context_t>(*this, i1, i2);
}

void create_performance_model(std::unique_ptr<performance_model_t>& model, int k, const toml::table& row_table) {
    const toml::table* table = get_table(row_table, "performance_model");
    if (table == nullptr) fatal("performance_model: no performance model specified");

    std::string type;
    if (get_value(*table, "type", type) != stat_success) fatal("performance_model: no performance model type specified");

    if (same_word(type, "aungier")) {
        create_performance_model_aungier(model, k, *table);
    } else if (same_word(type, "const")) {
        create_performance_model_const(model, k, *table);
    } else if (same_word(type, "lieblein")) {
        create_performance_model_lieblein(model, k, *table);
    } else {
        fatal("performance_model: unknown performance model");
    }
}

double incidence_of_row(const blade_row_t& row, int i1, int j) {
    return atan2d(wt(i1, j), flowfield().cm(i1, j)) - row.inlet_angle.at(mesh().y(i1, j));
}

double relative_total_sound_speed(const thermo_t& gas, double I, double s) {
    const double pt = gas.pressure_hs(I, s);
    const double Tt = gas.temperature_ps(pt, s);
    return gas.sound_speed_pt(pt, Tt);
}

double sonic_relative_speed(const thermo_t& gas, double I, double s, double w_max) {
    constexpr double xtol = 1e-6;   // m/s
    // Residual: speed of sound of the state expanded to relative speed w, minus w.
    const auto f_sonic = [&gas, I, s](double w) {
        const double hw = I - (w * w) / 2.0;
        const double pw = gas.pressure_hs(hw, s);
        const double Tw = gas.temperature_hp(hw, pw);
        return gas.sound_speed_pt(pw, Tw) - w;
    };
    // A relative total state that is not finite has no sonic speed, and a bisection of a bracket
    // that is not finite would never close: the NaN is passed on, and the state is reported as
    // not finite once the sweeps are done.
    if (!std::isfinite(w_max)) return std::numeric_limits<double>::quiet_NaN();
    return bisect(f_sonic, 0.0, w_max, xtol);
}

}  // namespace quorl

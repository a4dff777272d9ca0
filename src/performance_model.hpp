#pragma once
// Blade-row performance models: deviation, incidence (degrees) and total-pressure loss
// coefficient for one streamline of a row. Arguments: the row's leading-edge quasi-normal i1,
// its trailing-edge quasi-normal i2, the streamline j (all 1-based).

#include <memory>

#include <toml++/toml.h>

namespace quorl {

struct blade_row_t;
class thermo_t;

class performance_model_t {
public:
    virtual ~performance_model_t() = default;
    virtual double deviation(int i1, int i2, int j) const = 0;
    virtual double incidence(int i1, int i2, int j) const = 0;
    virtual double pressure_loss(int i1, int i2, int j) const = 0;
};

// Builds the model that the row table's sub-table `performance_model` names ("const",
// "lieblein", "aungier") and binds it to row k of the machine (1-based); replaces `model`.
void create_performance_model(std::unique_ptr<performance_model_t>& model, int k, const toml::table& row_table);

// Constructors, each from the `performance_model` sub-table.
void create_performance_model_const(std::unique_ptr<performance_model_t>& model, int k, const toml::table& table);
void create_performance_model_lieblein(std::unique_ptr<performance_model_t>& model, int k,
                                       const toml::table& table);
void create_performance_model_aungier(std::unique_ptr<performance_model_t>& model, int k,
                                      const toml::table& table);

// Inlet flow angle in the row's convention minus the inlet blade angle at the leading-edge point:
// atan2d(wt(i1, j), cm(i1, j)) - inlet_angle at y(i1, j). Shared by every model.
double incidence_of_row(const blade_row_t& row, int i1, int j);

// Speed of sound at the relative total state (I, s): relative total enthalpy I (J/kg), entropy s.
double relative_total_sound_speed(const thermo_t& gas, double I, double s);
// Sonic relative speed (m/s): the relative speed at which the flow, expanded from the relative
// total state (I, s) at constant relative total enthalpy and entropy, reaches its own speed of
// sound. Bisection on [0, w_max] to 1e-6 m/s, without a status record: a failure ends the run.
double sonic_relative_speed(const thermo_t& gas, double I, double s, double w_max);

}  // namespace quorl

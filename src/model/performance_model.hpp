#pragma once
// Blade-row performance models: deviation, incidence (degrees) and total-pressure loss
// coefficient for one streamline of a row. Arguments: the row's leading-edge quasi-normal i1,
// its trailing-edge quasi-normal i2, the streamline j (all 1-based).
//
// A solve of the trailing-edge quasi-normal evaluates its residual dozens of times, each time
// with a new flow state at i2, and asks for the deviation at every streamline in each of them.
// What stays fixed meanwhile (the row's tables at the mesh points, the mesh itself, the flow at
// the leading edge i1, and what the model derives from these alone) the model works out once, in
// a solve context that the solve holds and asks in place of the model.

#include <memory>

#include <toml++/toml.h>

namespace quorl {

struct blade_row_t;
class thermo_t;

// One solve of a row's trailing-edge quasi-normal i2 as its performance model sees it. Each
// operation returns what the model's operation of the same name returns for (i1, i2, j) with the
// flow field as it stands at the call, as long as nothing but the flow state of quasi-normal i2
// has changed since the context was made: the mesh, the row and the flow at i1 must not.
class performance_context_t {
public:
    virtual ~performance_context_t() = default;
    virtual double deviation(int j) const = 0;
    virtual double pressure_loss(int j) const = 0;
};

class performance_model_t {
public:
    virtual ~performance_model_t() = default;
    virtual double deviation(int i1, int i2, int j) const = 0;
    virtual double incidence(int i1, int i2, int j) const = 0;
    virtual double pressure_loss(int i1, int i2, int j) const = 0;
    // The context of one solve of quasi-normal i2 (leading edge i1). This one keeps nothing and
    // asks the model at every call; a model with work to spare overrides it.
    virtual std::unique_ptr<performance_context_t> solve_context(int i1, int i2) const;
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

#pragma once
// Inlet boundary conditions of the run.

#include <toml++/toml.h>

namespace quorl {

struct boundary_conditions_t {
    double ptot_in = 0.0;  // inlet total pressure, Pa
    double Ttot_in = 0.0;  // inlet total temperature, K
    double mdot_in = 0.0;  // mass flow rate through the machine, kg/s
    double rpm = 0.0;      // rotational speed of every rotating row, revolutions per minute
};

// Reads the table `boundary_conditions` of the root table (ptot_in, Ttot_in, mdot_in, rpm).
boundary_conditions_t init_boundary_conditions(const toml::table& root);

}  // namespace quorl

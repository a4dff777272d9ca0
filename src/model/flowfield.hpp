#pragma once
// The flow field: state at every mesh point, the run's gas model and boundary conditions.

#include <memory>
#include <string>
#include <vector>

#include <toml++/toml.h>

#include "array2d.hpp"
#include "boundary_conditions.hpp"
#include "thermo.hpp"

namespace quorl {

struct flowfield_state {
    std::unique_ptr<thermo_t> gas;     // the one gas model
    boundary_conditions_t boco;
    array2d p;                         // static pressure, Pa
    array2d t;                         // static temperature, K
    array2d rho;                       // density, kg/m3
    array2d s;                         // specific entropy, J/(kg K)
    array2d htot;                      // total enthalpy, J/kg
    array2d cm;                        // meridional velocity, m/s
    array2d ct;                        // absolute tangential velocity, m/s
    std::vector<double> scratch;       // work space of mass_flow_rate (no allocation per call)
};

// The process-wide flow field.
flowfield_state& flowfield();

// Builds the gas model, reads the boundary conditions and allocates the arrays (all 0).
void init_flowfield(toml::table& root);
// Relative tangential velocity at (i, j) in the sign convention of the point's blade row.
double wt(int i, int j);
// Mass flow through quasi-normal i, kg/s.
double mass_flow_rate(int i);

// What the mass flow through quasi-normal i reads of the mesh, per streamline: r 2 pi and
// cosd(phi - lambda). It changes only when the streamlines of i move or the mesh geometry is
// recomputed, never during a solve of i, so a solve works it out once for all its residuals.
struct mass_flow_geometry_t {
    int i = 0;                      // the quasi-normal
    std::vector<double> r_two_pi;   // m, streamlines 1..n
    std::vector<double> cos_psi;    // cosd(phi - lambda), streamlines 1..n
};
mass_flow_geometry_t mass_flow_geometry(int i);
// Mass flow through quasi-normal g.i with the flow field and the mesh points as they stand, kg/s.
double mass_flow_rate(const mass_flow_geometry_t& g);
// Writes the flow field with its derived quantities as a MAT-file; an existing file is replaced
// only by a complete one.
void save_flowfield(const std::string& filename);

}  // namespace quorl

#pragma once
// The meridional mesh: quasi-normals (inlet line, leading and trailing edge of each row,
// outlet line) crossed by streamlines (1 on the hub, the last on the shroud).
// Arrays are (quasi-normal i, streamline j), both from 1.

#include "array2d.hpp"
#include "curves.hpp"

namespace quorl {

struct mesh_state {
    int number_of_streamlines = 0;
    int number_of_quasinormals = 0;    // 2 x rows + 2
    array1<curve_t> quasinormal;       // the quasi-normal curves
    array2d z;                         // axial coordinate, m
    array2d r;                         // radius, m
    array2d y;                         // parameter of the point on its quasi-normal, m
    array2d m;                         // meridional distance from quasi-normal 1, m
    array2d phi;                       // meridional angle, deg
    array2d lambda;                    // quasi-normal lean, deg
    array2d kappa;                     // streamline curvature, 1/m
    array1<int> passage_type;          // passage k -> k+1: 0 duct, row number inside a row
};

// The process-wide mesh.
mesh_state& mesh();

// Builds the mesh from the machine with n streamlines and computes its geometry.
void create_mesh(int n);
// Recomputes m, lambda, phi and kappa from z, r, y and the quasi-normal curves.
void recalculate_mesh_parameters();
// Moves the inner points of quasi-normal i toward equal mass flow between streamlines.
void redistribute_streamlines_at_quasinormal(int i, const array2d& rho, const array2d& cm, double relax);
// Ends the run unless, along the hub and along the shroud, the quasi-normals meet the wall in flow
// order (inlet line, leading and trailing edge of each row, outlet line), each at a larger z than
// the one before, and then unless every two quasi-normals stay apart over their whole curves
// between hub and shroud; otherwise the mesh folds back on itself.
void check_flow_order();

}  // namespace quorl

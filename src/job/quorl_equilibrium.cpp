// What both radial-equilibrium solvers share. j is the quasi-normal, i the streamline.

#include "quorl_equilibrium.hpp"

#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

double exit_angle(double outlet_angle, double deviation, int frame_sign) {
    return (outlet_angle + deviation) * static_cast<double>(frame_sign);
}

}  // namespace

int passage_row(int j) {
    const int k = mesh().passage_type(j - 1);
    if (k < 0) fatal("Error: unknown passage type");
    return k;
}

double row_omega(const blade_row_t& row) {
    if (!row.rotating) return 0.0;
    return angular_speed(flowfield().boco.rpm);
}

double exit_flow_angle(const blade_row_t& row, int j, int i) {
    const double y = mesh().y(j, i);
    return exit_angle(row.outlet_angle.at(y), row.performance_model->deviation(j - 1, j, i), row.frame_sign);
}

void update_state_variables_at_quasinormal_from_htot_s_c(int q) {
    flowfield_state& ff = flowfield();
    const thermo_t& gas = *ff.gas;
    const int n = mesh().number_of_streamlines;
    for (int i = 1; i <= n; ++i) {
        const double cm = ff.cm(q, i);
        const double ct = ff.ct(q, i);
        const double h = ff.htot(q, i) - cm * cm / 2.0 - ct * ct / 2.0;
        ff.p(q, i) = gas.pressure_hs(h, ff.s(q, i));
        ff.t(q, i) = gas.temperature_ps(ff.p(q, i), ff.s(q, i));
        ff.rho(q, i) = gas.density_pt(ff.p(q, i), ff.t(q, i));
    }
}

void carry_through_duct(int j) {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    for (int i = 1; i <= ms.number_of_streamlines; ++i) {
        ff.htot(j, i) = ff.htot(j - 1, i);
        ff.s(j, i) = ff.s(j - 1, i);
        ff.ct(j, i) = (ms.r(j - 1, i) * ff.ct(j - 1, i)) / ms.r(j, i);
    }
}

row_exit_t::row_exit_t(const blade_row_t& row, int j)
    : row(row), omega(row_omega(row)), model_(row.performance_model->solve_context(j - 1, j)) {
    const mesh_state& ms = mesh();
    outlet_angle_.resize(static_cast<std::size_t>(ms.number_of_streamlines > 0 ? ms.number_of_streamlines : 0));
    for (int i = 1; i <= ms.number_of_streamlines; ++i)
        outlet_angle_[static_cast<std::size_t>(i - 1)] = row.outlet_angle.at(ms.y(j, i));
}

double row_exit_t::flow_angle(int i) const {
    return exit_angle(outlet_angle_[static_cast<std::size_t>(i - 1)], model_->deviation(i), row.frame_sign);
}

}  // namespace quorl

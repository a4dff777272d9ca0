#include "flowfield.hpp"

#include <algorithm>

#include "finite_differences.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"

namespace quorl {

flowfield_state& flowfield() {
    static flowfield_state state;
    return state;
}

void init_flowfield(toml::table& root) {
    flowfield_state& ff = flowfield();
    ff = flowfield_state{};

    ff.gas = new_thermo_t(root);
    ff.boco = init_boundary_conditions(root);

    const int nq = mesh().number_of_quasinormals;
    const int ns = mesh().number_of_streamlines;
    ff.p.resize(nq, ns);
    ff.t.resize(nq, ns);
    ff.rho.resize(nq, ns);
    ff.cm.resize(nq, ns);
    ff.ct.resize(nq, ns);
    ff.s.resize(nq, ns);
    ff.htot.resize(nq, ns);
    ff.scratch.assign(static_cast<std::size_t>(ns), 0.0);
}

double wt(int i, int j) {
    const flowfield_state& ff = flowfield();
    const mesh_state& msh = mesh();

    // The row of the passage that begins or ends at quasi-normal i.
    int k = msh.passage_type(i);
    if (i > 1) k = std::max(msh.passage_type(i), msh.passage_type(i - 1));
    if (k == 0) return ff.ct(i, j);

    const blade_row_t& row = machine().blade_row(k);
    const double sign = static_cast<double>(row.frame_sign);
    if (row.rotating) {
        const double omega = angular_speed(ff.boco.rpm);
        return (ff.ct(i, j) + omega * msh.r(i, j)) * sign;
    }
    return ff.ct(i, j) * sign;
}

double mass_flow_rate(int i) { return mass_flow_rate(mass_flow_geometry(i)); }

mass_flow_geometry_t mass_flow_geometry(int i) {
    const mesh_state& msh = mesh();
    const auto n = static_cast<std::size_t>(msh.number_of_streamlines > 0 ? msh.number_of_streamlines : 0);
    mass_flow_geometry_t g;
    g.i = i;
    g.r_two_pi.resize(n);
    g.cos_psi.resize(n);
    // r * two_pi is the same double as (r * 2.0) * pi: doubling is exact.
    for (std::size_t k = 0; k < n; ++k) {
        const int j = static_cast<int>(k) + 1;
        g.r_two_pi[k] = msh.r(i, j) * two_pi;
        g.cos_psi[k] = cosd(msh.phi(i, j) - msh.lambda(i, j));
    }
    return g;
}

double mass_flow_rate(const mass_flow_geometry_t& g) {
    flowfield_state& ff = flowfield();
    const int N = mesh().number_of_streamlines;
    const int i = g.i;

    // Called in every residual evaluation: the work buffer is sized once and then reused.
    if (ff.scratch.size() < static_cast<std::size_t>(N)) ff.scratch.resize(static_cast<std::size_t>(N));
    for (std::size_t k = 0; k < static_cast<std::size_t>(N); ++k) {
        const int j = static_cast<int>(k) + 1;
        ff.scratch[k] = g.r_two_pi[k] * ff.rho(i, j) * ff.cm(i, j) * g.cos_psi[k];
    }
    return integral(vview(ff.scratch.data(), N), mesh().y.row(i));
}

}  // namespace quorl

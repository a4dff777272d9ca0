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

double mass_flow_rate(int i) {
    flowfield_state& ff = flowfield();
    const mesh_state& msh = mesh();
    const int N = msh.number_of_streamlines;

    // Called in every residual evaluation: the work buffer is sized once and then reused.
    if (ff.scratch.size() < static_cast<std::size_t>(N)) ff.scratch.resize(static_cast<std::size_t>(N));
    // r * two_pi is the same double as (r * 2.0) * pi: doubling is exact.
    for (int j = 1; j <= N; ++j) {
        ff.scratch[static_cast<std::size_t>(j - 1)] =
            msh.r(i, j) * two_pi * ff.rho(i, j) * ff.cm(i, j) * cosd(msh.phi(i, j) - msh.lambda(i, j));
    }
    return integral(vview(ff.scratch.data(), N), msh.y.row(i));
}

}  // namespace quorl

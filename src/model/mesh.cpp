#include "mesh.hpp"

#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "finite_differences.hpp"
#include "interpolation.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "stop.hpp"

namespace quorl {

mesh_state& mesh() {
    static mesh_state state;
    return state;
}

namespace {

// A straight line from a to b (two points of two coordinates).
curve_t straight_line(const std::vector<double>& a, const std::vector<double>& b) {
    array2d points(2, 2);
    points(1, 1) = a[0];
    points(2, 1) = a[1];
    points(1, 2) = b[0];
    points(2, 2) = b[1];
    return new_curve(points);
}

}  // namespace

void create_mesh(int n) {
    const machine_state& mach = machine();
    mesh_state& msh = mesh();
    msh = mesh_state{};

    const int rows = mach.blade_row.size();
    msh.number_of_streamlines = n;
    msh.number_of_quasinormals = 2 * rows + 2;
    const int nq = msh.number_of_quasinormals;

    msh.z.resize(nq, n);
    msh.r.resize(nq, n);
    msh.y.resize(nq, n);
    msh.quasinormal = array1<curve_t>(nq);

    const curve_t& hub = mach.hub_outline;
    const curve_t& shroud = mach.shroud_outline;
    msh.quasinormal(1) = straight_line(hub.at_1(hub.s_begin), shroud.at_1(shroud.s_begin));
    for (int k = 1; k <= rows; ++k) {
        msh.quasinormal(2 * k) = mach.blade_row(k).leading_edge;
        msh.quasinormal(2 * k + 1) = mach.blade_row(k).trailing_edge;
    }
    msh.quasinormal(nq) = straight_line(hub.at_1(hub.s_end), shroud.at_1(shroud.s_end));

    double x[2];
    for (int i = 1; i <= nq; ++i) {
        const curve_t& qn = msh.quasinormal(i);
        const std::vector<double> t = linspace(qn.s_begin, qn.s_end, n);
        for (int j = 1; j <= n; ++j) {
            qn.at_1(t[static_cast<std::size_t>(j - 1)], x);
            msh.z(i, j) = x[0];
            msh.r(i, j) = x[1];
            msh.y(i, j) = t[static_cast<std::size_t>(j - 1)];
        }
    }

    msh.passage_type = array1<int>(nq, 0);
    for (int k = 1; k <= rows; ++k) msh.passage_type(2 * k) = k;

    msh.m.resize(nq, n);
    msh.lambda.resize(nq, n);
    msh.phi.resize(nq, n);
    msh.kappa.resize(nq, n);
    recalculate_mesh_parameters();
}

void recalculate_mesh_parameters() {
    mesh_state& msh = mesh();
    const int nq = msh.number_of_quasinormals;
    const int ns = msh.number_of_streamlines;

    for (int j = 1; j <= ns; ++j) msh.m(1, j) = 0.0;
    for (int i = 2; i <= nq; ++i) {
        for (int j = 1; j <= ns; ++j) {
            const double dz = msh.z(i, j) - msh.z(i - 1, j);
            const double dr = msh.r(i, j) - msh.r(i - 1, j);
            msh.m(i, j) = msh.m(i - 1, j) + std::sqrt(dz * dz + dr * dr);
        }
    }

    // r(:, j) and m(:, j) are contiguous columns: viewed in place, nothing is copied.
    double t[2];
    for (int i = 1; i <= nq; ++i) {
        const curve_t& qn = msh.quasinormal(i);
        for (int j = 1; j <= ns; ++j) {
            qn.tangent_at(msh.y(i, j), t);
            msh.lambda(i, j) = -atan2d(t[0], t[1]);
            const vview r_j = msh.r.col(j);
            const vview m_j = msh.m.col(j);
            const double d1 = diff_at_point_i(r_j, m_j, i);
            msh.phi(i, j) = asind(d1);
            const double d2 = diff2_at_point_i(r_j, m_j, i);
            // No guard on |d1| >= 1: phi and kappa then become NaN and the run reports it.
            msh.kappa(i, j) = -(d2 / std::sqrt(1.0 - d1 * d1));
        }
    }
}

void redistribute_streamlines_at_quasinormal(int i, const array2d& rho, const array2d& cm, double relax) {
    mesh_state& msh = mesh();
    const int N = msh.number_of_streamlines;

    std::vector<double> w(static_cast<std::size_t>(N));
    for (int j = 1; j <= N; ++j) {
        w[static_cast<std::size_t>(j - 1)] =
            two_pi * msh.r(i, j) * rho(i, j) * cm(i, j) * cosd(msh.phi(i, j) - msh.lambda(i, j));
    }

    std::vector<double> F(static_cast<std::size_t>(N));
    primitive_function(F, vview(w), msh.y.row(i));

    // The inverse of F(y) exists only where F grows strictly. A zero, negative or non-finite
    // mass-flow density anywhere leaves this quasi-normal exactly as it is, rather than moving
    // points to the arbitrary positions an ill-defined inverse would give.
    for (std::size_t k = 0; k < F.size(); ++k) {
        if (!std::isfinite(F[k])) return;
        if (k > 0 && !(F[k] > F[k - 1])) return;
    }

    std::vector<double> y_old(static_cast<std::size_t>(N));
    for (int j = 1; j <= N; ++j) y_old[static_cast<std::size_t>(j - 1)] = msh.y(i, j);

    const std::vector<double> T = linspace(F.front(), F.back(), N);
    const std::vector<double> y_new = interp1_rank01(vview(F), vview(y_old), vview(T), "linear", "extrap");

    for (int j = 1; j <= N; ++j) msh.y(i, j) = y_new[static_cast<std::size_t>(j - 1)];

    const curve_t& qn = msh.quasinormal(i);
    double x[2];
    for (int j = 2; j <= N - 1; ++j) {
        const std::size_t k = static_cast<std::size_t>(j - 1);
        msh.y(i, j) = relax * y_new[k] + (1.0 - relax) * y_old[k];
        qn.at_1(msh.y(i, j), x);
        msh.z(i, j) = x[0];
        msh.r(i, j) = x[1];
    }
}

namespace {

// What quasi-normal i is, for messages: the inlet line, a row's leading or trailing edge, the
// outlet line. `of_row` is the row the text is read against ("its leading edge" within it).
std::string quasinormal_name(int i, int of_row = 0) {
    const mesh_state& msh = mesh();
    if (i == 1) return "the inlet line";
    if (i == msh.number_of_quasinormals) return "the outlet line";
    const int k = i / 2;
    const char* edge = i % 2 == 0 ? "leading edge" : "trailing edge";
    if (k == of_row) return fmt::format("its {}", edge);
    return fmt::format("the {} of row {} \"{}\"", edge, k, machine().blade_row(k).name);
}

// The row of an edge quasi-normal, 0 for the inlet and outlet lines.
int row_of(int i) {
    const int nq = mesh().number_of_quasinormals;
    return i == 1 || i == nq ? 0 : i / 2;
}

// Ends the run when quasi-normal `later` meets the wall (streamline j) at or upstream of `earlier`.
void check_downstream(int earlier, int later, int j, const char* wall) {
    const mesh_state& msh = mesh();
    const double z_earlier = msh.z(earlier, j);
    const double z_later = msh.z(later, j);
    // A point that is not finite (a degenerate or NaN outline or edge) is no order: the inlet
    // state and the solution checks name what it breaks.
    if (!(z_later <= z_earlier)) return;
    // The edge that lies too far downstream is named first, the outlet line second.
    if (later == msh.number_of_quasinormals && earlier != 1)
        fatal(fmt::format("Error: {} meets the {} at z = {:.6g} m, not upstream of the outlet line at z = {:.6g} m",
                          quasinormal_name(earlier), wall, z_earlier, z_later));
    fatal(fmt::format("Error: {} meets the {} at z = {:.6g} m, not downstream of {} at z = {:.6g} m",
                      quasinormal_name(later), wall, z_later, quasinormal_name(earlier, row_of(later)), z_earlier));
}

}  // namespace

void check_flow_order() {
    const mesh_state& msh = mesh();
    const int nq = msh.number_of_quasinormals;
    const int n = msh.number_of_streamlines;
    // Streamline 1 lies where each edge meets the hub and the last where it meets the shroud,
    // whichever way its points run. Outlines given against the flow put the outlet line
    // upstream of the inlet line: said as such before any edge is blamed.
    check_downstream(1, nq, 1, "hub");
    check_downstream(1, nq, n, "shroud");
    for (int i = 2; i <= nq; ++i) {
        check_downstream(i - 1, i, 1, "hub");
        check_downstream(i - 1, i, n, "shroud");
    }
}

}  // namespace quorl

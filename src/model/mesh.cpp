#include "mesh.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
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

// Two quasi-normals that cross or touch fold the mesh. The check works on the curves over their
// trimmed range [s_begin, s_end], not on the mesh points: a fold between two streamlines leaves
// every point in order, and the sweeps move the points along the curves.
//
// Between two of its break points (the trimmed ends and the defining points between them) a
// quasi-normal is one polynomial of at most third degree in its parameter: the linear or the
// piecewise cubic Hermite interpolant, and its extension past the end points alike. Four points
// of such a piece give it exactly as a cubic Bezier curve, which lies in the convex hull of its
// control points. Halving the pieces whose hulls come near each other finds every place where
// two curves come within the tolerance; pieces found apart are apart.

// A point of the meridional plane, m.
struct point2 {
    double z;
    double r;
};

point2 operator+(point2 a, point2 b) { return {a.z + b.z, a.r + b.r}; }
point2 operator-(point2 a, point2 b) { return {a.z - b.z, a.r - b.r}; }
point2 operator*(double f, point2 a) { return {f * a.z, f * a.r}; }
double cross(point2 a, point2 b) { return a.z * b.r - a.r * b.z; }
double dot(point2 a, point2 b) { return a.z * b.z + a.r * b.r; }
point2 midpoint(point2 a, point2 b) { return 0.5 * (a + b); }

// One piece of a quasi-normal as a cubic Bezier curve: control points p[0..3] over the
// parameter range s0 to s1 (p[0] at s0, p[3] at s1).
struct curve_piece {
    double s0 = 0.0;
    double s1 = 0.0;
    point2 p[4];
};

// A box with sides along z and r; empty as made.
struct box2 {
    double z_min = std::numeric_limits<double>::infinity();
    double z_max = -std::numeric_limits<double>::infinity();
    double r_min = std::numeric_limits<double>::infinity();
    double r_max = -std::numeric_limits<double>::infinity();

    void add(point2 x) {
        z_min = std::min(z_min, x.z);
        z_max = std::max(z_max, x.z);
        r_min = std::min(r_min, x.r);
        r_max = std::max(r_max, x.r);
    }
    void add(const curve_piece& c) {
        for (const point2& x : c.p) add(x);
    }
    void add(const box2& o) {
        z_min = std::min(z_min, o.z_min);
        z_max = std::max(z_max, o.z_max);
        r_min = std::min(r_min, o.r_min);
        r_max = std::max(r_max, o.r_max);
    }
    double diagonal() const { return std::hypot(z_max - z_min, r_max - r_min); }
    // Whether the boxes lie more than gap apart.
    bool apart(const box2& o, double gap) const {
        return o.z_min - z_max > gap || z_min - o.z_max > gap || o.r_min - r_max > gap || r_min - o.r_max > gap;
    }
};

box2 box_of(const curve_piece& c) {
    box2 b;
    b.add(c);
    return b;
}

point2 point_at(const curve_t& qn, double s) {
    double x[2];
    qn.at_1(s, x);
    return {x[0], x[1]};
}

// The pieces of quasi-normal qn from its hub end to its shroud end; none when a point is not
// finite (the inlet state and the solution checks name what such geometry breaks).
std::vector<curve_piece> pieces_of(const curve_t& qn) {
    std::vector<double> breaks = {qn.s_begin};
    const double lo = std::min(qn.s_begin, qn.s_end);
    const double hi = std::max(qn.s_begin, qn.s_end);
    std::vector<double> inner;
    for (double s : qn.arc_length)
        if (s > lo && s < hi) inner.push_back(s);
    if (qn.s_end < qn.s_begin) std::reverse(inner.begin(), inner.end());
    breaks.insert(breaks.end(), inner.begin(), inner.end());
    breaks.push_back(qn.s_end);

    std::vector<curve_piece> pieces;
    for (std::size_t k = 0; k + 1 < breaks.size(); ++k) {
        const double s0 = breaks[k];
        const double s1 = breaks[k + 1];
        if (s0 == s1) continue;
        const double h = (s1 - s0) / 3.0;
        curve_piece c;
        c.s0 = s0;
        c.s1 = s1;
        c.p[0] = point_at(qn, s0);
        c.p[3] = point_at(qn, s1);
        // The cubic through p0, q1 (a third of the way), q2 (two thirds) and p3.
        const point2 u = 27.0 * point_at(qn, s0 + h) - 8.0 * c.p[0] - c.p[3];
        const point2 v = 27.0 * point_at(qn, s1 - h) - c.p[0] - 8.0 * c.p[3];
        c.p[1] = (1.0 / 18.0) * (2.0 * u - v);
        c.p[2] = (1.0 / 18.0) * (2.0 * v - u);
        for (const point2& x : c.p)
            if (!std::isfinite(x.z) || !std::isfinite(x.r)) return {};
        pieces.push_back(c);
    }
    return pieces;
}

// The two halves of a piece (de Casteljau at the middle of its parameter range).
void halve(const curve_piece& c, curve_piece& first, curve_piece& second) {
    const point2 a = midpoint(c.p[0], c.p[1]);
    const point2 b = midpoint(c.p[1], c.p[2]);
    const point2 d = midpoint(c.p[2], c.p[3]);
    const point2 ab = midpoint(a, b);
    const point2 bd = midpoint(b, d);
    const point2 mid = midpoint(ab, bd);
    const double s_mid = 0.5 * (c.s0 + c.s1);
    first = {c.s0, s_mid, {c.p[0], a, ab, mid}};
    second = {s_mid, c.s1, {mid, bd, d, c.p[3]}};
}

// The point of segment ab nearest to x, as the fraction t of the way from a to b.
double nearest_on_segment(point2 x, point2 a, point2 b) {
    const point2 d = b - a;
    const double length2 = dot(d, d);
    if (!(length2 > 0.0)) return 0.0;
    return std::clamp(dot(x - a, d) / length2, 0.0, 1.0);
}

double distance(point2 a, point2 b) { return std::hypot(a.z - b.z, a.r - b.r); }

// How far the piece can stray from its chord: the larger distance of its inner control points.
double flatness(const curve_piece& c) {
    double f = 0.0;
    for (int k : {1, 2}) {
        const double t = nearest_on_segment(c.p[k], c.p[0], c.p[3]);
        f = std::max(f, distance(c.p[k], c.p[0] + t * (c.p[3] - c.p[0])));
    }
    return f;
}

// The nearest points of the chords of two pieces, as fractions of the way along each.
struct chord_nearest {
    double distance;
    double ta;
    double tb;
};

chord_nearest nearest_of_chords(const curve_piece& a, const curve_piece& b) {
    const point2 a0 = a.p[0], a1 = a.p[3], b0 = b.p[0], b1 = b.p[3];
    const double o1 = cross(a1 - a0, b0 - a0);
    const double o2 = cross(a1 - a0, b1 - a0);
    const double o3 = cross(b1 - b0, a0 - b0);
    const double o4 = cross(b1 - b0, a1 - b0);
    if (((o1 < 0.0 && o2 > 0.0) || (o1 > 0.0 && o2 < 0.0)) && ((o3 < 0.0 && o4 > 0.0) || (o3 > 0.0 && o4 < 0.0)))
        return {0.0, o3 / (o3 - o4), o1 / (o1 - o2)};
    chord_nearest best{std::numeric_limits<double>::infinity(), 0.0, 0.0};
    const auto consider = [&best](double d, double ta, double tb) {
        if (d < best.distance) best = {d, ta, tb};
    };
    for (double ta : {0.0, 1.0}) {
        const point2 x = ta == 0.0 ? a0 : a1;
        const double tb = nearest_on_segment(x, b0, b1);
        consider(distance(x, b0 + tb * (b1 - b0)), ta, tb);
    }
    for (double tb : {0.0, 1.0}) {
        const point2 x = tb == 0.0 ? b0 : b1;
        const double ta = nearest_on_segment(x, a0, a1);
        consider(distance(x, a0 + ta * (a1 - a0)), ta, tb);
    }
    return best;
}

// Where two quasi-normals come within the tolerance: the parameter on each.
struct contact {
    double sa;
    double sb;
};

// Halving deeper than this leaves pieces of 2^-60 of their range: their chords decide.
constexpr int max_halvings = 60;

// Whether pieces a and b come within tol of each other; the first such place found into `found`.
bool find_contact(const curve_piece& a, const curve_piece& b, double tol, int depth, contact& found) {
    if (box_of(a).apart(box_of(b), tol)) return false;
    // Each piece lies within its flatness of its chord.
    const double flat_a = flatness(a);
    const double flat_b = flatness(b);
    const chord_nearest n = nearest_of_chords(a, b);
    if (!(n.distance <= flat_a + flat_b + tol)) return false;
    if ((flat_a <= 0.5 * tol && flat_b <= 0.5 * tol) || depth == max_halvings) {
        if (!(n.distance <= tol)) return false;
        found = {a.s0 + n.ta * (a.s1 - a.s0), b.s0 + n.tb * (b.s1 - b.s0)};
        return true;
    }
    curve_piece first, second;
    if (flat_a >= flat_b) {
        halve(a, first, second);
        return find_contact(first, b, tol, depth + 1, found) || find_contact(second, b, tol, depth + 1, found);
    }
    halve(b, first, second);
    return find_contact(a, first, tol, depth + 1, found) || find_contact(a, second, tol, depth + 1, found);
}

// The point of curve a nearest to x (a projection started at parameter s), its parameter, and
// the signed distance of x from it, whose sign tells the side.
struct foot_on_curve {
    point2 foot;
    double s;
    double offset;
};

// 2^-26: the step of the derivative as a fraction of the curve's range, as in its tangent.
constexpr double derivative_step = 1.4901161193847656e-8;

foot_on_curve foot_on(const curve_t& a, double s, point2 x) {
    double start[2] = {x.z, x.r};
    double s_foot = s;
    project_to_curve(start, a, &s_foot, &s);
    // The projection steps by the unit tangent and stops at steps below 2^-26, which leaves the
    // foot that far off along a curve whose parameter is not its arc length there: near a sharp
    // bend, more than the offsets compared here. Newton steps with the curve's derivative finish it.
    const double h = std::fabs(a.s_end - a.s_begin) * derivative_step;
    point2 d{};
    point2 foot{};
    for (int k = 0; k < 3; ++k) {
        foot = point_at(a, s_foot);
        d = (1.0 / h) * (point_at(a, s_foot + 0.5 * h) - point_at(a, s_foot - 0.5 * h));
        const double length2 = dot(d, d);
        if (!(length2 > 0.0)) break;
        s_foot = s_foot + dot(x - foot, d) / length2;
    }
    foot = point_at(a, s_foot);
    return {foot, s_foot, cross(d, x - foot) / std::hypot(d.z, d.r)};
}

// The contact as the message gives it: the point of a, and whether b crosses a there.
struct settled_contact {
    point2 where;
    bool crosses;
};

// The fraction of b's range on either side of a contact that the search for its exact place
// covers: the tolerance leaves a contact anywhere on the stretch where the curves are within it.
constexpr double settle_window = 9.765625e-4;  // 2^-10

// Settles a contact: the place of b nearest to a around it (a golden-section search of the
// distance), and whether b passes from one side of a to the other there rather than touching a
// and turning back. The sides are compared ever closer to that place, so that two crossings close
// together are not taken for a touch.
settled_contact settle(const curve_t& a, const curve_t& b, const contact& c) {
    const double window = std::fabs(b.s_end - b.s_begin) * settle_window;
    // Each projection starts from the last foot: the points of b searched lie close together.
    double s_foot = c.sa;
    const auto offset = [&](double s) {
        const foot_on_curve f = foot_on(a, s_foot, point_at(b, s));
        s_foot = f.s;
        return f.offset;
    };
    constexpr double golden = 0.6180339887498949;
    constexpr int golden_steps = 60;  // narrow the window to 3e-13 of itself
    double lo = c.sb - window;
    double hi = c.sb + window;
    double x1 = hi - golden * (hi - lo);
    double x2 = lo + golden * (hi - lo);
    double f1 = std::fabs(offset(x1));
    double f2 = std::fabs(offset(x2));
    for (int k = 0; k < golden_steps; ++k) {
        if (f1 <= f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - golden * (hi - lo);
            f1 = std::fabs(offset(x1));
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + golden * (hi - lo);
            f2 = std::fabs(offset(x2));
        }
    }
    // The distance need not have one minimum over the window: the contact itself is the fallback.
    double s = 0.5 * (lo + hi);
    if (!(std::fabs(offset(s)) <= std::fabs(offset(c.sb)))) s = c.sb;

    // Steps of the window down to 16^-3 of it: far above where rounding decides the sides.
    bool crosses = false;
    double step = window;
    for (int k = 0; k < 4 && !crosses; ++k, step /= 16.0) crosses = offset(s - step) * offset(s + step) < 0.0;
    return {foot_on(a, s_foot, point_at(b, s)).foot, crosses};
}

// A quasi-normal's pieces under a tree of boxes, so that two curves of many pieces are compared
// in about n log n steps rather than n^2: node 1 covers all pieces, node k its children 2k and
// 2k + 1, and leaf node `leaves` + p piece p alone (leaves past the last piece hold empty boxes).
struct piece_tree {
    std::vector<curve_piece> pieces;
    std::size_t leaves = 1;
    std::vector<box2> boxes;
};

piece_tree tree_of(std::vector<curve_piece> pieces) {
    piece_tree tree;
    while (tree.leaves < pieces.size()) tree.leaves *= 2;
    tree.boxes.resize(2 * tree.leaves);
    for (std::size_t p = 0; p < pieces.size(); ++p) tree.boxes[tree.leaves + p].add(pieces[p]);
    for (std::size_t k = tree.leaves - 1; k >= 1; --k) {
        tree.boxes[k] = tree.boxes[2 * k];
        tree.boxes[k].add(tree.boxes[2 * k + 1]);
    }
    tree.pieces = std::move(pieces);
    return tree;
}

// Whether the pieces under node ka of a and node kb of b come within tol of each other.
bool find_contact(const piece_tree& a, std::size_t ka, const piece_tree& b, std::size_t kb, double tol,
                  contact& found) {
    if (a.boxes[ka].apart(b.boxes[kb], tol)) return false;
    const bool leaf_a = ka >= a.leaves;
    const bool leaf_b = kb >= b.leaves;
    if (leaf_a && leaf_b) return find_contact(a.pieces[ka - a.leaves], b.pieces[kb - b.leaves], tol, 0, found);
    if (leaf_b || (!leaf_a && a.boxes[ka].diagonal() >= b.boxes[kb].diagonal()))
        return find_contact(a, 2 * ka, b, kb, tol, found) || find_contact(a, 2 * ka + 1, b, kb, tol, found);
    return find_contact(a, ka, b, 2 * kb, tol, found) || find_contact(a, ka, b, 2 * kb + 1, tol, found);
}

// Two quasi-normals closer than this fraction of the mesh's extent touch: far below any real gap
// between two stations, far above the rounding of the points.
constexpr double touch_fraction = 9.313225746154785e-10;  // 2^-30

// Ends the run when two quasi-normals cross or touch anywhere on their trimmed curves.
void check_quasinormals_apart() {
    const mesh_state& msh = mesh();
    const int nq = msh.number_of_quasinormals;
    std::vector<piece_tree> trees(static_cast<std::size_t>(nq + 1));
    box2 all;
    for (int i = 1; i <= nq; ++i) {
        piece_tree& tree = trees[static_cast<std::size_t>(i)];
        tree = tree_of(pieces_of(msh.quasinormal(i)));
        all.add(tree.boxes[1]);
    }
    const double tol = all.diagonal() * touch_fraction;

    // Every pair, not only neighbours: an edge that bulges past the hub or the shroud between its
    // ends can go round its neighbour and cross one further off. Boxes apart settle most pairs.
    for (int later = 2; later <= nq; ++later) {
        for (int earlier = later - 1; earlier >= 1; --earlier) {
            const piece_tree& a = trees[static_cast<std::size_t>(earlier)];
            const piece_tree& b = trees[static_cast<std::size_t>(later)];
            contact c{};
            if (a.pieces.empty() || b.pieces.empty() || !find_contact(a, 1, b, 1, tol, c)) continue;
            const settled_contact x = settle(msh.quasinormal(earlier), msh.quasinormal(later), c);
            // As in the flow-order messages: the outlet line is named second.
            int first = later;
            int second = earlier;
            if (later == nq && earlier != 1) std::swap(first, second);
            fatal(fmt::format("Error: {} {} {} at z = {:.6g} m, r = {:.6g} m", quasinormal_name(first),
                              x.crosses ? "crosses" : "touches", quasinormal_name(second, row_of(first)), x.where.z,
                              x.where.r));
        }
    }
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
    check_quasinormals_apart();
}

}  // namespace quorl

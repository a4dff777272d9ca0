#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "quorl.hpp"
#include "stage_job.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;

constexpr int N = 5;

// Two rows: edges at z = 0.1, 0.15 and (shifted) 0.2, 0.25 in the annulus 0.1 <= r <= 0.2.
void two_row_mesh(const test::toml_lines& machine_changes = {}) {
    load_machine_description(parse_toml(machine_text(machine_changes, {{}, {{"axial_offset", "0.1"}}})));
    create_mesh(N);
}

TEST(Mesh, QuasiNormalsPassagesAndPoints) {
    two_row_mesh();
    const mesh_state& m = mesh();
    EXPECT_EQ(m.number_of_quasinormals, 6);
    EXPECT_EQ(m.number_of_streamlines, N);
    EXPECT_EQ(m.passage_type.vec(), (std::vector<int>{0, 1, 0, 2, 0, 0}));
    ASSERT_EQ(m.quasinormal.size(), 6);

    // Inlet and outlet lines from 0 to their length; trimmed edges from s_begin to s_end.
    EXPECT_EQ(m.y(1, 1), 0.0);
    EXPECT_NEAR(m.y(1, N), 0.1, 1e-15);
    EXPECT_EQ(m.y(6, 1), 0.0);
    EXPECT_NEAR(m.y(6, N), 0.1, 1e-15);
    for (int i = 2; i <= 5; ++i) {
        EXPECT_EQ(m.y(i, 1), m.quasinormal(i).s_begin);
        EXPECT_EQ(m.y(i, N), m.quasinormal(i).s_end);
        EXPECT_NEAR(m.y(i, 1), 0.05, 1e-12);
    }
    const std::vector<double> z_of_qn = {0.0, 0.1, 0.15, 0.2, 0.25, 0.3};
    for (int i = 1; i <= 6; ++i) {
        for (int j = 1; j <= N; ++j) {
            EXPECT_NEAR(m.z(i, j), z_of_qn[static_cast<std::size_t>(i - 1)], 1e-12);
            EXPECT_NEAR(m.r(i, j), 0.1 + 0.025 * (j - 1), 1e-12);
        }
    }
    EXPECT_NEAR(m.m(6, 3), 0.3, 1e-12);
}

TEST(Mesh, StraightStreamlinesOnRadialQuasiNormals) {
    struct geometry {
        const char* what;
        test::toml_lines machine;
        double slope;  // dr/dz of every streamline
    };
    const std::vector<geometry> cases = {
        {"axial annulus", {}, 0.0},
        {"conical annulus",
         {{"hub_outline", "[[0.0, 0.1], [0.3, 0.13]]"}, {"shroud_outline", "[[0.0, 0.2], [0.3, 0.23]]"}},
         0.1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        two_row_mesh(c.machine);
        const mesh_state& m = mesh();
        const double phi = atand(c.slope);
        // The tangent's central difference over 2^-26 of the range turns last-bit noise of
        // the points into about 1e-6 degree of lean; the trimmed ends carry the intersection's
        // tolerance into phi.
        for (int i = 1; i <= 6; ++i) {
            for (int j = 1; j <= N; ++j) {
                EXPECT_NEAR(m.lambda(i, j), 0.0, 1e-5);
                EXPECT_NEAR(m.phi(i, j), phi, 1e-7);
                EXPECT_NEAR(m.kappa(i, j), 0.0, 1e-6);
            }
        }
        EXPECT_NEAR(m.m(6, 1), 0.3 * std::sqrt(1.0 + c.slope * c.slope), 1e-12);
    }
}

TEST(Mesh, LeaningEdgeAndNoRows) {
    // A leading edge leaning downstream at 45 degrees, a radial trailing edge.
    load_machine_description(parse_toml(machine_text(
        {}, {{{"leading_edge", "[[0.05, 0.05], [0.25, 0.25]]"}, {"trailing_edge", "[[0.27, 0.05], [0.27, 0.25]]"}}})));
    create_mesh(N);
    const mesh_state& m = mesh();
    for (int j = 1; j <= N; ++j) {
        EXPECT_NEAR(m.lambda(2, j), -45.0, 1e-6);
        EXPECT_NEAR(m.lambda(3, j), 0.0, 1e-5);
    }
    // The alternating projections stop once a cycle moves the point by less than 2^-26.
    EXPECT_NEAR(m.z(2, 1), 0.1, 1e-7);
    EXPECT_NEAR(m.z(2, N), 0.2, 1e-7);

    load_machine_description(parse_toml("[machine]\n" + test::render(test::machine_base(), {{"blade_row", "[]"}})));
    EXPECT_STOP(create_mesh(N), "finite_differences: x must have at least 3 elements");
}

// Density 1 and a meridional velocity per point.
struct flow {
    array2d rho;
    array2d cm;
};

flow uniform_flow() {
    const mesh_state& m = mesh();
    flow f{array2d(m.number_of_quasinormals, N, 1.0), array2d(m.number_of_quasinormals, N)};
    // rho cm proportional to 1/r: the mass-flow density 2 pi r rho cm is the same everywhere.
    for (int i = 1; i <= m.number_of_quasinormals; ++i)
        for (int j = 1; j <= N; ++j) f.cm(i, j) = 10.0 / m.r(i, j);
    return f;
}

void expect_same_geometry(const mesh_state& a, const mesh_state& b) {
    EXPECT_EQ(a.m.data(), b.m.data());
    EXPECT_EQ(a.phi.data(), b.phi.data());
    EXPECT_EQ(a.lambda.data(), b.lambda.data());
    EXPECT_EQ(a.kappa.data(), b.kappa.data());
}

TEST(Mesh, UniformFlowLeavesPointsInPlace) {
    for (double relax : {0.0, 0.2, 0.5, 1.0}) {
        SCOPED_TRACE(relax);
        two_row_mesh();
        const mesh_state before = mesh();
        const flow f = uniform_flow();
        for (int i : {1, 2}) redistribute_streamlines_at_quasinormal(i, f.rho, f.cm, relax);
        const mesh_state& m = mesh();
        for (int i : {1, 2}) {
            for (int j = 1; j <= N; ++j) {
                EXPECT_NEAR(m.y(i, j), before.y(i, j), 1e-13);
                EXPECT_NEAR(m.z(i, j), before.z(i, j), 1e-13);
                EXPECT_NEAR(m.r(i, j), before.r(i, j), 1e-13);
            }
        }
        expect_same_geometry(m, before);
    }
}

TEST(Mesh, RedistributionMovesInnerPointsOnly) {
    two_row_mesh();
    const mesh_state before = mesh();
    flow f = uniform_flow();
    // Flow density growing toward the shroud: equal-flow tubes get narrower there.
    for (int j = 1; j <= N; ++j) f.cm(2, j) = 10.0 * j;

    redistribute_streamlines_at_quasinormal(2, f.rho, f.cm, 1.0);
    const mesh_state full = mesh();
    mesh() = before;
    redistribute_streamlines_at_quasinormal(2, f.rho, f.cm, 0.2);
    const mesh_state fifth = mesh();
    mesh() = before;
    redistribute_streamlines_at_quasinormal(2, f.rho, f.cm, 0.5);
    const mesh_state& half = mesh();

    // The relaxation is the fraction of the way from the old point to the equal-flow one.
    const curve_t& qn = before.quasinormal(2);
    for (int j = 2; j <= N - 1; ++j) {
        const double way = full.y(2, j) - before.y(2, j);
        EXPECT_GT(way, 1e-3);
        EXPECT_NEAR((fifth.y(2, j) - before.y(2, j)) / way, 0.2, 1e-12);
        EXPECT_NEAR((half.y(2, j) - before.y(2, j)) / way, 0.5, 1e-12);
        const std::vector<double> p = qn.at_1(half.y(2, j));
        EXPECT_EQ(half.z(2, j), p[0]);
        EXPECT_EQ(half.r(2, j), p[1]);
    }
    for (const mesh_state* m : {&full, &fifth, &half}) {
        for (int j : {1, N}) {
            EXPECT_EQ(m->z(2, j), before.z(2, j));
            EXPECT_EQ(m->r(2, j), before.r(2, j));
            EXPECT_NEAR(m->y(2, j), before.y(2, j), 1e-15);
        }
        // Other quasi-normals and the geometry stay as they were.
        for (int i : {1, 3, 4, 5, 6}) {
            for (int j = 1; j <= N; ++j) {
                EXPECT_EQ(m->y(i, j), before.y(i, j));
                EXPECT_EQ(m->z(i, j), before.z(i, j));
                EXPECT_EQ(m->r(i, j), before.r(i, j));
            }
        }
        expect_same_geometry(*m, before);
    }
}

TEST(Mesh, FlowThatDoesNotGrowLeavesTheQuasiNormalUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<const char*, std::vector<double>>> cases = {
        {"no flow", {0.0, 0.0, 0.0, 0.0, 0.0}},
        {"reverse flow", {-10.0, -10.0, -10.0, -10.0, -10.0}},
        {"reverse flow in the middle", {10.0, 10.0, -100.0, 10.0, 10.0}},
        {"not a number", {10.0, 10.0, nan, 10.0, 10.0}},
        {"infinite", {10.0, std::numeric_limits<double>::infinity(), 10.0, 10.0, 10.0}},
    };
    for (const auto& [what, cm] : cases) {
        SCOPED_TRACE(what);
        two_row_mesh();
        const mesh_state before = mesh();
        flow f = uniform_flow();
        for (int j = 1; j <= N; ++j) f.cm(2, j) = cm[static_cast<std::size_t>(j - 1)];
        redistribute_streamlines_at_quasinormal(2, f.rho, f.cm, 1.0);
        EXPECT_EQ(mesh().y.data(), before.y.data());
        EXPECT_EQ(mesh().z.data(), before.z.data());
        EXPECT_EQ(mesh().r.data(), before.r.data());
    }
}


// A straight edge through the stage's radii that meets the shroud (r = 0.30 m) at z_shroud and
// leans by dz/dr.
test::point_list straight_edge(double z_shroud, double dz_dr) {
    test::point_list points;
    for (double r : test::stage_edge_radii) points.push_back({z_shroud + dz_dr * (r - 0.30), r});
    return points;
}

// The stage's edge with its middle point (r = 0.25 m) moved to z.
test::point_list bent_edge(double z_edge, double z_middle) {
    test::point_list points = test::radial_edge(z_edge, test::stage_edge_radii);
    points[2][0] = z_middle;
    return points;
}

// The turbine stage of the examples: a stator (edges at z = 0.05 and 0.09) and a rotor (0.11 and
// 0.145) in the annulus 0.25 <= r <= 0.35 from z = 0 to 0.25.
void make_turbine(test::stage_job& s) {
    const test::real_list radii = {0.23, 0.25, 0.30, 0.35, 0.37};
    s.type = "turbine";
    s.hub = {{0.0, 0.25}, {0.25, 0.25}};
    s.shroud = {{0.0, 0.35}, {0.25, 0.35}};
    std::swap(s.rows[0], s.rows[1]);
    s.rows[0].leading_edge = test::radial_edge(0.05, radii);
    s.rows[0].trailing_edge = test::radial_edge(0.09, radii);
    s.rows[1].leading_edge = test::radial_edge(0.11, radii);
    s.rows[1].trailing_edge = test::radial_edge(0.145, radii);
}

template <class T>
std::vector<T> reversed(std::vector<T> v) {
    std::reverse(v.begin(), v.end());
    return v;
}

TEST(Mesh, QuasiNormalsInFlowOrderAndApart) {
    // The stage: hub r = 0.20 + z / 30, shroud r = 0.30, from z = 0 to 0.30; rotor edges at
    // z = 0.08 and 0.12, stator edges at 0.18 and 0.22.
    using test::radial_edge;
    using test::stage_edge_radii;
    using test::stage_job;
    const struct {
        const char* what;
        std::function<void(stage_job&)> change;
        std::string error;             // "" for a machine that runs
        bool points_in_order = false;  // the fold lies between the mesh points
    } cases[] = {
        {"rotor leading edge behind its trailing edge",
         [](stage_job& s) { s.rotor().leading_edge = radial_edge(0.14, stage_edge_radii); },
         "Error: the trailing edge of row 1 \"Rotor\" meets the hub at z = 0.12 m, not downstream of its leading "
         "edge at z = 0.14 m"},
        {"stator leading edge inside the rotor",
         [](stage_job& s) { s.stator().leading_edge = radial_edge(0.10, stage_edge_radii); },
         "Error: the leading edge of row 2 \"Stator\" meets the hub at z = 0.1 m, not downstream of the trailing "
         "edge of row 1 \"Rotor\" at z = 0.12 m"},
        {"stator leading edge on the rotor trailing edge",
         [](stage_job& s) { s.stator().leading_edge = radial_edge(0.12, stage_edge_radii); },
         "Error: the leading edge of row 2 \"Stator\" meets the hub at z = 0.12 m, not downstream of the trailing "
         "edge of row 1 \"Rotor\" at z = 0.12 m"},
        {"rotor leading edge upstream of the inlet line",
         [](stage_job& s) { s.rotor().leading_edge = radial_edge(-0.05, stage_edge_radii); },
         "Error: the leading edge of row 1 \"Rotor\" meets the hub at z = -0.05 m, not downstream of the inlet "
         "line at z = 0 m"},
        {"stator trailing edge beyond the outlet line",
         [](stage_job& s) { s.stator().trailing_edge = radial_edge(0.35, stage_edge_radii); },
         "Error: the trailing edge of row 2 \"Stator\" meets the hub at z = 0.35 m, not upstream of the outlet "
         "line at z = 0.3 m"},
        {"rotor trailing edge leaned upstream of its leading edge at the shroud only",
         [](stage_job& s) { s.rotor().trailing_edge = straight_edge(0.04, -1.0); },
         "Error: the trailing edge of row 1 \"Rotor\" meets the shroud at z = 0.04 m, not downstream of its "
         "leading edge at z = 0.08 m"},
        {"outlines given against the flow",
         [](stage_job& s) {
             s.hub = reversed(s.hub);
             s.shroud = reversed(s.shroud);
         },
         "Error: the outlet line meets the hub at z = 0 m, not downstream of the inlet line at z = 0.3 m"},
        // Ends in order, but the curves cross or touch between hub and shroud.
        {"compressor rotor trailing edge bent across its leading edge at mid span",
         [](stage_job& s) { s.rotor().trailing_edge = bent_edge(0.12, 0.06); },
         "Error: the trailing edge of row 1 \"Rotor\" crosses its leading edge at z = 0.08 m, r = 0.231912 m"},
        {"turbine rotor trailing edge bent across its leading edge at mid span",
         [](stage_job& s) {
             make_turbine(s);
             s.rows[1].trailing_edge[2] = {0.03, 0.30};
         },
         "Error: the trailing edge of row 2 \"Rotor\" crosses its leading edge at z = 0.11 m, r = 0.2727 m"},
        {"stator leading edge bent into the rotor",
         [](stage_job& s) { s.stator().leading_edge = bent_edge(0.18, 0.10); },
         "Error: the leading edge of row 2 \"Stator\" crosses the trailing edge of row 1 \"Rotor\" at z = 0.12 m, "
         "r = 0.235119 m"},
        {"rotor trailing edge with a spike across its leading edge between two streamlines",
         [](stage_job& s) {
             test::blade_row_job& rotor = s.rotor();
             rotor.trailing_edge = {{0.12, 0.18}, {0.12, 0.20}, {0.12, 0.241}, {0.078, 0.245},
                                    {0.12, 0.249}, {0.12, 0.30}, {0.12, 0.32}};
             rotor.outlet_angle = {21.5, 29.7, 44.2, 44.2, 44.2, 53.1, 55.8};
         },
         "Error: the trailing edge of row 1 \"Rotor\" crosses its leading edge at z = 0.08 m, r = 0.244523 m", true},
        {"rotor leading edge bent onto the inlet line",
         [](stage_job& s) { s.rotor().leading_edge = bent_edge(0.08, 0.0); },
         "Error: the leading edge of row 1 \"Rotor\" touches the inlet line at z = 0 m, r = 0.25 m"},
        {"stator trailing edge bent across the outlet line",
         [](stage_job& s) { s.stator().trailing_edge = bent_edge(0.22, 0.31); },
         "Error: the trailing edge of row 2 \"Stator\" crosses the outlet line at z = 0.3 m, r = 0.240418 m"},
        {"rotor leading edge round the shroud end of its trailing edge, across the stator leading edge",
         [](stage_job& s) {
             test::blade_row_job& rotor = s.rotor();
             rotor.leading_edge = {{0.08, 0.18},  {0.08, 0.20},  {0.08, 0.27},  {0.10, 0.34},
                                   {0.17, 0.34},  {0.175, 0.29}, {0.19, 0.28},  {0.195, 0.34},
                                   {0.11, 0.36},  {0.085, 0.32}, {0.08, 0.30}};
             rotor.inlet_angle = test::real_list(11, 50.0);
             rotor.chord = test::real_list(11, 0.05);
             rotor.relative_thickness = test::real_list(11, 0.07);
         },
         "Error: the leading edge of row 2 \"Stator\" crosses the leading edge of row 1 \"Rotor\" at z = 0.18 m, "
         "r = 0.285036 m"},
        // Machines that run as they always did.
        {"rotor trailing edge bent to 5 mm from its leading edge, stator leading edge leaned",
         [](stage_job& s) {
             s.rotor().trailing_edge = bent_edge(0.12, 0.085);
             s.stator().leading_edge = straight_edge(0.20, 0.5);
         },
         ""},
        {"rotor trailing edge leaned downstream, its ends in order",
         [](stage_job& s) { s.rotor().trailing_edge = straight_edge(0.14, 0.2); }, ""},
        {"rotor leading edge given from shroud to hub",
         [](stage_job& s) {
             test::blade_row_job& rotor = s.rotor();
             rotor.leading_edge = reversed(rotor.leading_edge);
             rotor.inlet_angle = reversed(rotor.inlet_angle);
             rotor.chord = reversed(rotor.chord);
             rotor.relative_thickness = reversed(rotor.relative_thickness);
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stage_job s;
        c.change(s);
        quorl_job_t job;
        job.table = parse_toml(test::job_text(s));
        if (!c.error.empty()) {
            EXPECT_STOP(test::captured_stdout([&] { job.init(); }), c.error);
            // Along every streamline the mesh points still run downstream: only the curves show the fold.
            if (c.points_in_order) {
                const mesh_state& m = mesh();
                for (int j = 1; j <= m.number_of_streamlines; ++j)
                    for (int i = 2; i <= m.number_of_quasinormals; ++i)
                        EXPECT_GT(m.z(i, j), m.z(i - 1, j)) << i << ", " << j;
            }
            continue;
        }
        test::captured_stdout([&] {
            job.init();
            job.run();
        });
        EXPECT_EQ(job.solution_fault, "");
        // Streamline 1 on the hub and the last on the shroud, whichever way an edge's points run.
        const mesh_state& m = mesh();
        const int n = m.number_of_streamlines;
        for (int i = 1; i <= m.number_of_quasinormals; ++i) {
            EXPECT_NEAR(m.r(i, 1), 0.20 + m.z(i, 1) / 30.0, 1e-7) << i;
            EXPECT_NEAR(m.r(i, n), 0.30, 1e-7) << i;
        }
    }
}

}  // namespace
}  // namespace quorl

// The five figures on whole runs: the `plots` table, the scripts handed to the interpreter, the
// image files, and the runs that end in the figures.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <matio.h>

#include "machine_fixtures.hpp"
#include "math.hpp"
#include "quorl.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace quorl;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::run_quorl;
using quorl::test::toml_lines;
using quorl::test::write_file;

constexpr int ns = 4;  // streamlines
constexpr int nq = 4;  // one row: inlet, leading edge, trailing edge, outlet
const char* const figure_names[] = {"machine", "mesh", "pressure_by_r", "Ct_by_r", "Cm_by_r"};

// A one-row job whose `plots` table (given in full, or empty for none) comes first, so that
// its keys sit on lines 1, 2, ... of the file.
std::string job_text(const std::string& plots, const toml_lines& row = {}) {
    return plots + "[thermo]\nmodel = \"perfect_gas\"\n[thermo.perfect_gas]\nr = 287.0\ncp = 1004.5\n" +
           test::boundary_conditions_text() + "[solver]\nnumber_of_streamlines = " + std::to_string(ns) + "\n" +
           test::machine_text({}, {row}) +
           "[results]\nfile = \"results.mat\"\n";
}

// An interpreter command that keeps each script it is given as scripts/<n>.py (n = 0, 1, ...)
// and then runs it with the system Python. Written as <dir>/bin/python3.
fs::path make_keeping_python(const fs::path& dir) {
    fs::create_directories(dir / "bin");
    const fs::path path = dir / "bin" / "python3";
    write_file(path, std::string("#!/bin/sh\nmkdir -p scripts\nn=$(ls scripts | wc -l)\ncp \"$1\" \"scripts/$n.py\"\n") +
                         "exec " + test::system_python + " \"$1\"\n");
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    return path;
}

// One figure script: its lines, and for each plt.plot call the x and y lists before it.
struct plot_call {
    std::string call;
    std::vector<double> x, y;
};
struct figure_script {
    std::vector<std::string> lines;
    std::vector<plot_call> plots;

    bool has(const std::string& line) const {
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    }
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& p : plots) out.push_back(p.call);
        return out;
    }
};

std::vector<double> parse_list(const std::string& line) {
    std::vector<double> values;
    std::istringstream items(line.substr(line.find('[') + 1));
    for (std::string item; std::getline(items, item, ',');) values.push_back(std::strtod(item.c_str(), nullptr));
    return values;
}

figure_script read_script(const fs::path& path) {
    figure_script s;
    std::istringstream in(read_file(path));
    std::vector<double> x, y;
    for (std::string line; std::getline(in, line);) {
        s.lines.push_back(line);
        if (line.starts_with("x = [")) x = parse_list(line);
        if (line.starts_with("y = [")) y = parse_list(line);
        if (line.starts_with("plt.plot(")) s.plots.push_back({line, x, y});
    }
    return s;
}

std::string plot(const char* style, int width) {
    return std::string("plt.plot(x, y, '") + style + "', linewidth=" + std::to_string(width) + ", label='')";
}

// A (quasi-normal x streamline) matrix of the results file.
array2d read_matrix(const fs::path& file, const char* name) {
    array2d a(nq, ns);
    mat_t* mat = Mat_Open(file.c_str(), MAT_ACC_RDONLY);
    if (mat == nullptr) {
        ADD_FAILURE() << "cannot open " << file;
        return a;
    }
    if (matvar_t* v = Mat_VarRead(mat, name)) {
        const auto* data = static_cast<const double*>(v->data);
        std::copy(data, data + nq * ns, a.data().begin());
        Mat_VarFree(v);
    } else {
        ADD_FAILURE() << "no variable " << name;
    }
    Mat_Close(mat);
    return a;
}

std::vector<double> values(vview v) {
    std::vector<double> out;
    for (int i = 1; i <= v.size(); ++i) out.push_back(v(i));
    return out;
}

bool temp_script_left(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with("pyplot_module_temp_")) return true;
    return false;
}

std::string png_size(const std::string& bytes) {
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
        return v;
    };
    if (bytes.size() < 24 || bytes.substr(0, 8) != std::string("\x89PNG\r\n\x1a\n", 8)) return "not a PNG";
    return std::to_string(be32(16)) + "x" + std::to_string(be32(20));
}

TEST(Plots, WithoutPlotsTableNothingIsDrawn) {
    for (const char* text : {"[results]\nfile = 'x.mat'\n", "plots = 1\n"}) {
        SCOPED_TRACE(text);
        quorl_job_t job;
        job.table = test::parse_toml(text);
        EXPECT_EQ(test::captured_stdout([&] { job.create_plots(); }),
                  " Cannot read [plot] section, no plots will will be created\n");
    }
}

TEST(Plots, EmptyTableDrawsTheFiveFiguresWithTheDefaults) {
    const fs::path dir = fresh_dir("plots_defaults");
    make_keeping_python(dir);
    write_file(dir / "job.toml", job_text("[plots]\n"));
    // The default command "python3" is found on PATH: the keeping interpreter above.
    const std::string old_path = std::getenv("PATH");
    setenv("PATH", ((dir / "bin").string() + ":" + old_path).c_str(), 1);
    const auto r = run_quorl({"-i", "job.toml"}, dir);
    setenv("PATH", old_path.c_str(), 1);

    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Cannot read"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with(" Quorl finished successfully\n")) << r.out;
    EXPECT_FALSE(temp_script_left(dir));
    EXPECT_TRUE(fs::exists(dir / "results.mat"));

    // Five PNG images at 75 dpi (the default 6.4 x 4.8 in figure), one script each, in order.
    std::vector<figure_script> scripts;
    for (int k = 0; k < 5; ++k) {
        const std::string name = figure_names[k];
        SCOPED_TRACE(name);
        EXPECT_EQ(png_size(read_file(dir / (name + ".png"))), "480x360");
        scripts.push_back(read_script(dir / "scripts" / (std::to_string(k) + ".py")));
        EXPECT_TRUE(scripts.back().has("plt.savefig('" + name + ".png', dpi=int('75'))"));
        EXPECT_TRUE(scripts.back().has("plt.grid(True)"));
        EXPECT_FALSE(scripts.back().has("plt.legend()"));
        EXPECT_EQ(scripts.back().has("plt.axis('equal')"), k < 2);
    }
    EXPECT_FALSE(fs::exists(dir / "scripts" / "5.py"));

    // Machine: hub and shroud in black, the rotor's edges in red, each over 100 points of the
    // usable range (the edges trimmed to the annulus from r = 0.1 to 0.2).
    const figure_script& machine = scripts[0];
    EXPECT_TRUE(machine.has("plt.title('Machine geometry')"));
    EXPECT_TRUE(machine.has("plt.xlabel('z (m)')"));
    EXPECT_TRUE(machine.has("plt.ylabel('r (m)')"));
    ASSERT_EQ(machine.calls(), (std::vector<std::string>{plot("-k", 2), plot("-k", 2), plot("-r", 2), plot("-r", 2)}));
    const struct {
        double z0, z1, r0, r1;
    } curves[] = {{0.0, 0.3, 0.1, 0.1}, {0.0, 0.3, 0.2, 0.2}, {0.1, 0.1, 0.1, 0.2}, {0.15, 0.15, 0.1, 0.2}};
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        const auto& p = machine.plots[static_cast<std::size_t>(c)];
        ASSERT_EQ(p.x.size(), 100u);
        ASSERT_EQ(p.y.size(), 100u);
        EXPECT_NEAR(p.x.front(), curves[c].z0, 1e-9);
        EXPECT_NEAR(p.x.back(), curves[c].z1, 1e-9);
        EXPECT_NEAR(p.y.front(), curves[c].r0, 1e-9);
        EXPECT_NEAR(p.y.back(), curves[c].r1, 1e-9);
        // Evenly spaced along the straight lines.
        EXPECT_NEAR(p.x[33] - p.x[0], (p.x[99] - p.x[0]) / 3.0, 1e-12);
        EXPECT_NEAR(p.y[33] - p.y[0], (p.y[99] - p.y[0]) / 3.0, 1e-12);
    }

    // Mesh and profiles: exactly the final state saved in the results file.
    const fs::path mat = dir / "results.mat";
    const array2d z = read_matrix(mat, "z"), r_ = read_matrix(mat, "r");
    array2d p_bar = read_matrix(mat, "p");
    for (double& v : p_bar.data()) v = v / 1e5;
    const array2d ct = read_matrix(mat, "Ct"), cm = read_matrix(mat, "Cm");

    const figure_script& mesh = scripts[1];
    EXPECT_TRUE(mesh.has("plt.title('Computational mesh')"));
    EXPECT_TRUE(mesh.has("plt.xlabel('z (m)')"));
    EXPECT_TRUE(mesh.has("plt.ylabel('r (m)')"));
    ASSERT_EQ(mesh.calls(), std::vector<std::string>(nq + ns, plot("-k", 1)));
    for (int i = 1; i <= nq; ++i) {
        EXPECT_EQ(mesh.plots[static_cast<std::size_t>(i - 1)].x, values(z.row(i))) << "quasi-normal " << i;
        EXPECT_EQ(mesh.plots[static_cast<std::size_t>(i - 1)].y, values(r_.row(i))) << "quasi-normal " << i;
    }
    for (int j = 1; j <= ns; ++j) {
        EXPECT_EQ(mesh.plots[static_cast<std::size_t>(nq + j - 1)].x, values(z.col(j))) << "streamline " << j;
        EXPECT_EQ(mesh.plots[static_cast<std::size_t>(nq + j - 1)].y, values(r_.col(j))) << "streamline " << j;
    }

    const struct {
        const figure_script& script;
        const array2d& x;
        const char* xlabel;
        const char* title;
    } profiles[] = {{scripts[2], p_bar, "Pressure (bar)", "Pressure"},
                    {scripts[3], ct, "Ct (m/s)", "Absolute circumferential velocity"},
                    {scripts[4], cm, "Cm (m/s)", "Meridional velocity"}};
    for (const auto& f : profiles) {
        SCOPED_TRACE(f.title);
        EXPECT_TRUE(f.script.has(std::string("plt.title('") + f.title + "')"));
        EXPECT_TRUE(f.script.has(std::string("plt.xlabel('") + f.xlabel + "')"));
        EXPECT_TRUE(f.script.has("plt.ylabel('r (m)')"));
        ASSERT_EQ(f.script.calls(),
                  (std::vector<std::string>{plot("-r", 1), plot("-g", 1), plot("-r", 1), plot("-g", 1)}));
        for (int k = 1; k <= nq; ++k) {
            EXPECT_EQ(f.script.plots[static_cast<std::size_t>(k - 1)].x, values(f.x.row(k))) << "quasi-normal " << k;
            EXPECT_EQ(f.script.plots[static_cast<std::size_t>(k - 1)].y, values(r_.row(k))) << "quasi-normal " << k;
        }
    }
}

TEST(Plots, FormatNamesTheFilesAndStatorEdgesAreBlue) {
    const fs::path dir = fresh_dir("plots_pdf");
    const fs::path python = make_keeping_python(dir);
    write_file(dir / "job.toml", job_text("[plots]\npython = \"" + python.string() + "\"\nformat = \"pdf\"\ndpi = 100\n",
                                          {{"rotating", "false"}}));
    const auto r = run_quorl({"-i", "job.toml"}, dir);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (int k = 0; k < 5; ++k) {
        const std::string name = figure_names[k];
        SCOPED_TRACE(name);
        EXPECT_EQ(read_file(dir / (name + ".pdf")).substr(0, 5), "%PDF-");
        EXPECT_FALSE(fs::exists(dir / (name + ".png")));
        const figure_script s = read_script(dir / "scripts" / (std::to_string(k) + ".py"));
        EXPECT_TRUE(s.has("plt.savefig('" + name + ".pdf', dpi=int('100'))"));
        if (k == 0) {
            EXPECT_EQ(s.calls(), (std::vector<std::string>{plot("-k", 2), plot("-k", 2), plot("-b", 2), plot("-b", 2)}));
        }
    }
    EXPECT_FALSE(temp_script_left(dir));
}

TEST(Plots, WrongSettingsArePointedOutInTheJobFile) {
    const struct {
        const char* plots;
        const char* diagnostic;
    } cases[] = {
        // The checks run in the order python, format, dpi.
        {"[plots]\npython = 1\ndpi = 0\n",
         " error: python must be string\n --> job.toml:2:10\n  |\n2 | python = 1\n  |          ^\n  |\n"},
        {"[plots]\nformat = ['pdf']\ndpi = 0\n",
         " error: format must be string\n --> job.toml:2:10\n  |\n2 | format = ['pdf']\n  |          ^^^^^^^\n  |\n"},
        {"[plots]\npython = '/usr/bin/python3'\nformat = 'png'\ndpi = 0\n",
         " error: dpi must be positive integer\n --> job.toml:4:7\n  |\n4 | dpi = 0\n  |       ^\n  |\n"},
        {"[plots]\ndpi = -5\n",
         " error: dpi must be positive integer\n --> job.toml:2:7\n  |\n2 | dpi = -5\n  |       ^^\n  |\n"},
        {"[plots]\ndpi = 75.0\n",
         " error: dpi must be positive integer\n --> job.toml:2:7\n  |\n2 | dpi = 75.0\n  |       ^^^^\n  |\n"},
        {"[plots]\ndpi = 2147483648\n",
         " error: dpi must be positive integer\n --> job.toml:2:7\n  |\n2 | dpi = 2147483648\n  |       ^^^^^^^^^^\n  |\n"},
        // A NUL character would cut the command or the file names short.
        {"[plots]\npython = \"/usr/bin/python3\\u0000x\"\n",
         " error: python must be string\n --> job.toml:2:10\n  |\n2 | python = \"/usr/bin/python3\\u0000x\"\n"
         "  |          ^^^^^^^^^^^^^^^^^^^^^^^^^\n  |\n"},
        {"[plots]\nformat = \"png\\u0000\"\n",
         " error: format must be string\n --> job.toml:2:10\n  |\n2 | format = \"png\\u0000\"\n  |          ^^^^^^^^^^^\n  |\n"},
    };
    const fs::path dir = fresh_dir("plots_settings");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plots);
        write_file(dir / "job.toml", job_text(c.plots));
        const auto r = run_quorl({"-i", "job.toml"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, std::string(" Loading config file job.toml ...\n Solving ...\n"
                                     " WARNING: didn't found [reports] section!\n") +
                             c.diagnostic);
        EXPECT_EQ(r.err, "ERROR STOP 1\n");
        // Stopped before any figure; the results file is written all the same.
        EXPECT_TRUE(fs::exists(dir / "results.mat"));
        EXPECT_FALSE(temp_script_left(dir));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);  // job.toml, results.mat
        fs::remove(dir / "results.mat");
    }
}

TEST(Plots, InterpreterThatCannotRunEndsTheRunAndAFailingOneIsAWarning) {
    const fs::path dir = fresh_dir("plots_interpreter");

    // The run ends at the first figure, after the results file is written.
    write_file(dir / "job.toml", job_text("[plots]\npython = '/nonexistent/python3'\n"));
    auto r = run_quorl({"-i", "job.toml"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.ends_with("ERROR STOP pyplot: cannot run the Python command '/nonexistent/python3'\n")) << r.err;
    EXPECT_EQ(r.out.find("Quorl finished successfully"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "results.mat"));
    EXPECT_FALSE(fs::exists(dir / "machine.png"));
    EXPECT_FALSE(temp_script_left(dir));
    fs::remove(dir / "results.mat");

    // An interpreter that runs and fails: no images, one warning per figure on both streams,
    // and the run goes on. Its output follows everything written before it.
    write_file(dir / "job.toml", job_text("[plots]\npython = \"sh -c 'echo child; exit 3' sh\"\n"));
    r = run_quorl({"-i", "job.toml"}, dir);
    EXPECT_EQ(r.status, 0);
    std::string warnings, printed = " WARNING: didn't found [reports] section!\n";
    for (const char* name : figure_names) {
        const std::string warning = std::string(" WARNING: drawing the figure ") + name +
                                    ".png failed: the Python command exited with status 3\n";
        warnings += warning;
        printed += "child\n" + warning;
    }
    EXPECT_EQ(r.err, warnings);
    EXPECT_TRUE(r.out.ends_with(printed + " Quorl finished successfully\n")) << r.out;
    EXPECT_TRUE(fs::exists(dir / "results.mat"));
    for (const char* name : figure_names) EXPECT_FALSE(fs::exists(dir / (std::string(name) + ".png"))) << name;
    EXPECT_FALSE(temp_script_left(dir));

    // A command that ends well but writes no figure (here the interpreter, which reads its
    // program from the empty standard input) gets the same warning, also where a figure of an
    // earlier run is left as it was.
    write_file(dir / "job.toml", job_text("[plots]\npython = '" + std::string(test::system_python) + " #'\n"));
    write_file(dir / "machine.png", "an earlier figure");
    r = run_quorl({"-i", "job.toml"}, dir);
    EXPECT_EQ(r.status, 0);
    warnings.clear();
    for (const char* name : figure_names)
        warnings += std::string(" WARNING: drawing the figure ") + name +
                    ".png failed: the Python command exited with status 0\n";
    EXPECT_EQ(r.err, warnings);
    EXPECT_TRUE(r.out.ends_with(warnings + " Quorl finished successfully\n")) << r.out;
    EXPECT_EQ(read_file(dir / "machine.png"), "an earlier figure");
    EXPECT_FALSE(temp_script_left(dir));
}

}  // namespace

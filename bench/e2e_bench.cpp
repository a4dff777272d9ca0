// End-to-end cost of init + run: every example job, the scaling with the number of streamlines
// and with the number of stages, and the peak memory of each run.
// Usage: e2e_bench [examples folder]
//
// Each case runs in a child process of its own, so that its peak resident memory is its own.
// The column us/sweep/N/qn is the time of one full sweep divided by the streamline count and the
// number of solved quasi-normals: it stays about constant when the cost is linear in both.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "mesh.hpp"
#include "quorl.hpp"
#include "stage_job.hpp"
#include "stop.hpp"

namespace {

namespace fs = std::filesystem;

struct measurement {
    bool ok = false;
    int quasinormals = 0;
    double init_s = 0;
    double run_s = 0;
    char message[256] = {};
};

// A compressor of `stages` copies of the test stage with a loss and a deviation in each row. The
// hub rises 0.01 m per stage, about as fast as the density grows, so that every stage sees much
// the same meridional velocity.
toml::table multistage_compressor(int stages) {
    using namespace quorl::test;
    stage_job job;
    job.solver = "# the streamline count is set per case\n";
    const double length = 0.1 + 0.2 * stages;
    job.hub = {{0.0, 0.2}, {length, 0.2 + 0.01 * stages}};
    job.shroud = {{0.0, 0.3}, {length, 0.3}};
    job.rows.clear();
    const auto place = [](blade_row_job row, double z, double deviation, double loss) {
        row.leading_edge = radial_edge(z, stage_edge_radii);
        row.trailing_edge = radial_edge(z + 0.04, stage_edge_radii);
        row.chord = {0.05, 0.05, 0.05, 0.05, 0.05};
        row.relative_thickness = {0.08, 0.08, 0.07, 0.06, 0.06};
        row.deviation = deviation;
        row.pressure_loss = loss;
        return row;
    };
    for (int s = 0; s < stages; ++s) {
        const double z = 0.05 + 0.2 * s;
        job.rows.push_back(place(stage_rotor(), z, 2.0, 0.05));
        job.rows.push_back(place(stage_stator(), z + 0.1, 3.0, 0.06));
    }
    return toml::parse(job_text(job));
}

// Runs init + run in a child process; fills the measurement and the child's peak memory (kB).
measurement measure(const toml::table& job_table, const std::string& file, int streamlines, long& peak_kb) {
    measurement m;
    int fds[2];
    if (pipe(fds) != 0) return m;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // The job's own console lines (warnings) would interleave with the table.
        if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) _exit(1);
        measurement r;
        try {
            quorl::quorl_job_t job;
            if (!file.empty()) quorl::create_quorl_job(job, file);
            else job.table = job_table;
            if (streamlines > 0) job.table.insert_or_assign("solver", toml::table{{"number_of_streamlines", streamlines}});
            const auto t0 = std::chrono::steady_clock::now();
            job.init();
            const auto t1 = std::chrono::steady_clock::now();
            job.run();
            const auto t2 = std::chrono::steady_clock::now();
            r.ok = true;
            r.quasinormals = quorl::mesh().number_of_quasinormals;
            r.init_s = std::chrono::duration<double>(t1 - t0).count();
            r.run_s = std::chrono::duration<double>(t2 - t1).count();
        } catch (const std::exception& e) {
            std::snprintf(r.message, sizeof r.message, "%s", e.what());
        }
        if (write(fds[1], &r, sizeof r) != sizeof r) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    if (read(fds[0], &m, sizeof m) != sizeof m) m = measurement{};
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    peak_kb = usage.ru_maxrss;
    return m;
}

void print_header() {
    fmt::print("{:<34} {:>6} {:>5} {:>10} {:>10} {:>14} {:>10}\n", "case", "N", "qn", "init (s)", "run (s)",
               "us/sweep/N/qn", "peak (MB)");
}

void print_row(const std::string& name, int n, const measurement& m, long peak_kb) {
    if (!m.ok) {
        fmt::print("{:<34} not run: {}\n", name, m.message);
        return;
    }
    const double per = m.run_s / 100.0 / n / (m.quasinormals - 1) * 1e6;
    fmt::print("{:<34} {:>6} {:>5} {:>10.4f} {:>10.4f} {:>14.3f} {:>10.1f}\n", name, n, m.quasinormals, m.init_s, m.run_s,
               per, peak_kb / 1024.0);
}

int streamlines_of(const std::string& file) {
    const toml::table t = toml::parse_file(file);
    return t.at_path("solver.number_of_streamlines").value_or(10);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path examples = argc > 1 ? argv[1] : QUORL_SOURCE_DIR "/examples";
    std::vector<fs::path> jobs;
    for (const auto& e : fs::directory_iterator(examples))
        if (e.path().extension() == ".toml") jobs.push_back(e.path());
    std::sort(jobs.begin(), jobs.end());

    long peak = 0;
    fmt::print("Examples (init + run, outputs left out)\n");
    print_header();
    for (const auto& job : jobs) {
        int n = 10;
        try {
            n = streamlines_of(job.string());
        } catch (const std::exception&) {
        }
        const auto m = measure({}, job.string(), 0, peak);
        print_row(job.filename().string(), n, m, peak);
    }

    fmt::print("\nStreamlines (compressor_stage.toml)\n");
    print_header();
    const std::string stage = (examples / "compressor_stage.toml").string();
    for (int n : {11, 51, 201}) {
        const auto m = measure({}, stage, n, peak);
        print_row("compressor_stage.toml", n, m, peak);
    }

    fmt::print("\nStages (identical compressor stages, 21 streamlines)\n");
    print_header();
    for (int stages : {1, 3, 6}) {
        const auto m = measure(multistage_compressor(stages), "", 21, peak);
        print_row(fmt::format("{} stage(s), {} rows", stages, 2 * stages), 21, m, peak);
    }
    return 0;
}

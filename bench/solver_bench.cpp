// End-to-end cost of init + run for a job file at several streamline counts.
// Usage: solver_bench [job.toml] [streamline counts...]
// Prints, per count, the time of init, of run, of one full sweep, of one sweep per streamline
// and quasi-normal (which should stay constant as the count grows: the cost is linear), and the
// heap allocations per full-equilibrium solve (a small constant: the residual evaluations
// allocate nothing).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "mesh.hpp"
#include "quorl.hpp"
#include "stop.hpp"

namespace {
std::size_t allocations = 0;
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    const std::string job_file = argc > 1 ? argv[1] : QUORL_SOURCE_DIR "/examples/compressor_stage.toml";
    std::vector<int> counts;
    for (int k = 2; k < argc; ++k) counts.push_back(std::atoi(argv[k]));
    if (counts.empty()) counts = {11, 51, 201};

    constexpr int sweeps = 100;
    std::printf("%-24s %5s %4s %10s %10s %14s %14s %12s\n", "job", "N", "qn", "init (s)", "run (s)", "ms/sweep",
                "us/sweep/N/qn", "allocs/solve");
    for (int n : counts) {
        quorl::quorl_job_t job;
        try {
            quorl::create_quorl_job(job, job_file);
            job.table.insert_or_assign("solver", toml::table{{"number_of_streamlines", n}});
            job.table.erase("reports");
            job.table.erase("plots");
            job.table.erase("results");
            const auto t0 = std::chrono::steady_clock::now();
            job.init();
            const auto t1 = std::chrono::steady_clock::now();
            const std::size_t allocations_before = allocations;
            job.run();
            const std::size_t run_allocations = allocations - allocations_before;
            const auto t2 = std::chrono::steady_clock::now();
            const double init_s = std::chrono::duration<double>(t1 - t0).count();
            const double run_s = std::chrono::duration<double>(t2 - t1).count();
            const int nq = quorl::mesh().number_of_quasinormals;
            const double per_sweep_ms = run_s / sweeps * 1e3;
            const double per_point_us = run_s / sweeps / n / (nq - 1) * 1e6;
            const double per_solve = static_cast<double>(run_allocations) / (sweeps * (nq - 1));
            const std::string name = job_file.substr(job_file.find_last_of('/') + 1);
            std::printf("%-24s %5d %4d %10.4f %10.4f %14.3f %14.3f %12.1f\n", name.c_str(), n, nq, init_s, run_s,
                        per_sweep_ms, per_point_us, per_solve);
        } catch (const quorl::stop_error& e) {
            std::fprintf(stderr, "ERROR STOP %s\n", e.what());
            return e.status();
        }
    }
    return 0;
}

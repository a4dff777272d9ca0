// End-to-end cost of init + run for a job file at several streamline counts.
// Usage: solver_bench [job.toml] [streamline counts...]
// Prints, per count, the time of init, of run, and of one full sweep per streamline and
// quasi-normal (which should stay constant as the count grows: the cost is linear).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mesh.hpp"
#include "quorl.hpp"
#include "stop.hpp"

int main(int argc, char** argv) {
    const std::string job_file = argc > 1 ? argv[1] : QUORL_SOURCE_DIR "/examples/compressor_stage.toml";
    std::vector<int> counts;
    for (int k = 2; k < argc; ++k) counts.push_back(std::atoi(argv[k]));
    if (counts.empty()) counts = {11, 51, 201};

    std::printf("%-40s %6s %6s %10s %10s %14s\n", "job", "N", "qn", "init (s)", "run (s)", "us/sweep/N/qn");
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
            job.run();
            const auto t2 = std::chrono::steady_clock::now();
            const double init_s = std::chrono::duration<double>(t1 - t0).count();
            const double run_s = std::chrono::duration<double>(t2 - t1).count();
            const int nq = quorl::mesh().number_of_quasinormals;
            const double per = run_s / 100.0 / n / (nq - 1) * 1e6;
            std::string name = job_file.substr(job_file.find_last_of('/') + 1);
            std::printf("%-40s %6d %6d %10.4f %10.4f %14.3f\n", name.c_str(), n, nq, init_s, run_s, per);
        } catch (const quorl::stop_error& e) {
            std::fprintf(stderr, "ERROR STOP %s\n", e.what());
            return e.status();
        }
    }
    return 0;
}

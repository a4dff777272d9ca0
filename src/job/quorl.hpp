#pragma once
// The throughflow job: loads the job file and drives init, run, report, figures and results.

#include <string>

#include <toml++/toml.h>

#include "job_file.hpp"

namespace quorl {

struct quorl_job_t {
    toml::table table;      // the parsed job document
    toml_context context;   // file name and source text, for located diagnostics
    // Set by run when the final state is no solution (not finite, or a meridional velocity that
    // is not positive): the fatal error that ends the run after its outputs. Empty otherwise.
    std::string solution_fault;

    // Machine, mesh, flow field, uniform inlet state and the 10 start-up sweeps.
    void init();
    // The 100 full-equilibrium sweeps, then the check of the final state (solution_fault).
    void run();
    // Refuses, before any output is written, an output file that is the job file, a report
    // and a results file that are one file, a report or results file that is one of the
    // figures, and a file name with a NUL character (status 2).
    void check_output_files() const;
    // The report on the console and/or in a file (table `reports`).
    void create_report();
    // The five figures (table `plots`).
    void create_plots();
    // The MAT-file (table `results`).
    void save_results();
};

// Loads and parses the job file into the job; a file that cannot be read or parsed ends the
// run with the reader's message on standard output and "ERROR STOP 1".
void create_quorl_job(quorl_job_t& job, const std::string& filename);

}  // namespace quorl

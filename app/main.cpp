// Quorl: throughflow analysis of axial compressors and turbines.

#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "console.hpp"
#include "output_file.hpp"
#include "quorl.hpp"
#include "stop.hpp"

namespace {

void print_usage() {
    using quorl::console::write;
    write(std::cout, {"Usage: Quorl [options]"});
    write(std::cout, {""});
    write(std::cout, {"Options:"});
    write(std::cout, {"  --help, -h: Print this help message"});
    write(std::cout, {"  --input, -i: Input file (default: quorl.toml)"});
    write(std::cout, {""});
}

quorl::quorl_job_t job;

void print_stop(const quorl::stop_error& e) {
    std::cout << e.stdout_text() << std::flush;
    std::cerr << "ERROR STOP " << e.what() << std::endl;
}

// Once everything meant for standard output has been written: a write to it that failed (a full
// disk, /dev/full, a closed descriptor) is said on standard error, and the run then ends with
// status 2 like any other output that could not be written. True when it failed.
bool standard_output_failed() {
    const int error = quorl::console::standard_output_error();
    if (error == 0) return false;
    print_stop(quorl::stop_error(std::string("Cannot write standard output: ") + std::strerror(error), 2));
    return true;
}

// `status`, or 2 when standard output failed.
int checked(int status) { return standard_output_failed() ? 2 : status; }

// The report, the figures and the results file, each attempted whatever became of the others,
// so that a failure after the solve does not cost the results file. Returns the failures in
// the order in which they happened.
std::vector<quorl::stop_error> write_outputs() {
    std::vector<quorl::stop_error> failures;
    for (void (quorl::quorl_job_t::*output)() : {&quorl::quorl_job_t::create_report, &quorl::quorl_job_t::create_plots,
                                                 &quorl::quorl_job_t::save_results}) {
        try {
            (job.*output)();
        } catch (const quorl::stop_error& e) {
            failures.push_back(e);
        }
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    quorl::console::watch_standard_output();
    CLI::App app{"Quorl: throughflow analysis of axial compressors and turbines", "quorl"};
    app.set_help_flag();
    bool help = false;
    std::string input = "quorl.toml";
    // No positional arguments: a job file named without -i is refused like an undeclared option.
    app.add_flag("-h,--help", help, "Print this help message");
    app.add_option("-i,--input", input, "Input file")->default_str("quorl.toml");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A refused command line: the parser's message and the table of options, and the usual
        // status of a usage error, so that a script does not take it for a run.
        std::cout << e.what() << '\n' << app.help();
        return checked(2);
    }

    if (help) {
        print_usage();
        return checked(0);
    }

    try {
        using quorl::console::write_now;
        // Before anything is written: every signal that ends the run removes the temporary
        // files, and a file-size limit is a failed write.
        quorl::install_signal_handlers();
        write_now(std::cout, {"Loading config file " + input + " ..."});
        quorl::create_quorl_job(job, input);
        write_now(std::cout, {"Solving ..."});
        job.init();
        job.run();
        job.check_output_files();
        const std::vector<quorl::stop_error> failures = write_outputs();
        const bool solved = job.solution_fault.empty();
        if (failures.empty() && solved && quorl::console::standard_output_error() == 0) {
            write_now(std::cout, {"Quorl finished successfully"});
            return checked(0);
        }
        // Every failure's line in turn, standard output's after the outputs' own, and last a
        // final state that is no solution (which ends the run as a failure once its outputs are
        // written). Status 2 when an output could not be written, otherwise 1.
        int status = 1;
        for (const quorl::stop_error& e : failures) {
            print_stop(e);
            if (e.status() == 2) status = 2;
        }
        if (standard_output_failed()) status = 2;
        if (!solved) print_stop(quorl::stop_error(job.solution_fault, 1));
        return status;
    } catch (const quorl::stop_error& e) {
        print_stop(e);
        return checked(e.status());
    } catch (const std::exception& e) {
        // Nothing should reach here; if something does, it still ends as a fatal error.
        std::cerr << "ERROR STOP " << e.what() << std::endl;
        return checked(1);
    }
    return 0;
}

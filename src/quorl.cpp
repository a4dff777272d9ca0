#include "quorl.hpp"

#include <iostream>

#include "stop.hpp"

namespace quorl {

void create_quorl_job(quorl_job_t& job, const std::string& filename) {
    job.table = toml::table{};
    std::string error;
    if (!toml_load_file(filename, job.table, job.context, error)) fatal_after_output(error + "\n");
}

}  // namespace quorl

namespace quorl {

void quorl_job_t::init() {}
void quorl_job_t::run() {}

}  // namespace quorl

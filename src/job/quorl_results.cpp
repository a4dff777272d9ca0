#include <iostream>
#include <string>

#include "console.hpp"
#include "flowfield.hpp"
#include "job_file.hpp"
#include "quorl.hpp"

namespace quorl {

void quorl_job_t::save_results() {
    const toml::table* results = get_table(table, "results");
    if (results == nullptr) {
        console::write_now(std::cout, {"WARNING: didn't found [results] section!"});
        return;
    }
    // The name exactly as read; a missing or non-string `file` saves nothing, silently.
    std::string filename;
    if (get_value(*results, "file", filename) == stat_success) save_flowfield(filename);
}

}  // namespace quorl

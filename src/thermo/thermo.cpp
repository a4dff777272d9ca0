#include "thermo.hpp"

#include <string>

#include "console.hpp"
#include "job_file.hpp"
#include "stop.hpp"
#include "strings.hpp"
#include "thermo_aungier.hpp"
#include "thermo_coolprop.hpp"
#include "thermo_perfect_gas.hpp"

namespace quorl {

std::unique_ptr<thermo_t> new_thermo_t(toml::table& root) {
    toml::table* thermo = get_table_create(root, "thermo");
    if (thermo == nullptr) fatal("Didn't found thermo table in config file.");

    // A missing model, or one that is not a string, stands for the empty name.
    std::string model;
    (void)get_value(*thermo, "model", model);

    if (same_word(model, "aungier")) return std::make_unique<thermo_aungier_t>(new_thermo_aungier_t(*thermo));
    if (same_word(model, "coolprop")) return new_thermo_coolprop_t(*thermo);
    if (same_word(model, "perfect_gas"))
        return std::make_unique<thermo_perfect_gas_t>(new_thermo_perfect_gas_t(*thermo));
    bare_stop(console::record({"Unknown thermodynamic model: ", model}) + "\n");
}

}  // namespace quorl

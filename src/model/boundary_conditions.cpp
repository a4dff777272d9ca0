#include "boundary_conditions.hpp"

#include "job_file.hpp"
#include "stop.hpp"

namespace quorl {

boundary_conditions_t init_boundary_conditions(const toml::table& root) {
    const toml::table* table = get_table(root, "boundary_conditions");
    if (table == nullptr) fatal("Error: boundary_conditions table not found");

    boundary_conditions_t boco;
    if (get_value(*table, "ptot_in", boco.ptot_in) != stat_success)
        fatal("Error: ptot_in not found in boundary_conditions table");
    if (get_value(*table, "Ttot_in", boco.Ttot_in) != stat_success)
        fatal("Error: Ttot_in not found in boundary_conditions table");
    if (get_value(*table, "mdot_in", boco.mdot_in) != stat_success)
        fatal("Error: mdot_in not found in boundary_conditions table");
    if (get_value(*table, "rpm", boco.rpm) != stat_success)
        fatal("Error: rpm not found in boundary_conditions table");
    return boco;
}

}  // namespace quorl

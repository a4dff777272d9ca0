#include "thermo/thermo_aungier.hpp"

#include "stop.hpp"

namespace quorl {

std::unique_ptr<thermo_t> new_thermo_aungier_t(const toml::table&) {
    fatal("The thermodynamic model 'aungier' is not available in this build");
}

}  // namespace quorl

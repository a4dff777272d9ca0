#include "thermo/thermo_coolprop.hpp"

#include "stop.hpp"

namespace quorl {

std::unique_ptr<thermo_t> new_thermo_coolprop_t(const toml::table&) {
    fatal("The thermodynamic model 'coolprop' is not available in this build");
}

}  // namespace quorl

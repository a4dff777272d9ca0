#pragma once

#include <memory>

#include <toml++/toml.h>

#include "thermo/thermo.hpp"

namespace quorl {

std::unique_ptr<thermo_t> new_thermo_aungier_t(const toml::table& thermo);

}  // namespace quorl

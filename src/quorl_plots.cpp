#include "quorl.hpp"

namespace quorl {

void quorl_job_t::create_plots() {}

}  // namespace quorl

#include "quorl.hpp"

namespace quorl {

void quorl_job_t::save_results() {}

}  // namespace quorl

#include "performance_model.hpp"

#include "stop.hpp"

namespace quorl {

void create_performance_model_aungier(std::unique_ptr<performance_model_t>&, int, const toml::table&) {
    fatal("performance_model: the model 'aungier' is not available in this build");
}

}  // namespace quorl

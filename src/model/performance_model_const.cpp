#include "performance_model_const.hpp"

#include "job_file.hpp"
#include "machine.hpp"
#include "stop.hpp"

namespace quorl {

void create_performance_model_const(std::unique_ptr<performance_model_t>& model, int k, const toml::table& table) {
    double deviation = 0.0;
    if (get_value(table, "deviation", deviation) != stat_success)
        fatal("Missing deviation value for const performance model");
    double pressure_loss = 0.0;
    if (get_value(table, "pressure_loss", pressure_loss) != stat_success)
        fatal("Missing pressure loss coefficient for const performance model");

    model.reset();
    model = std::make_unique<performance_model_const_t>(machine().blade_row(k), deviation, pressure_loss);
}

double performance_model_const_t::deviation(int, int, int) const { return deviation_value; }

double performance_model_const_t::incidence(int i1, int, int j) const { return incidence_of_row(row, i1, j); }

double performance_model_const_t::pressure_loss(int, int, int) const { return pressure_loss_value; }

}  // namespace quorl

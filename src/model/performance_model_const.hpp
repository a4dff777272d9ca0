#pragma once
// The constant performance model: one deviation and one loss coefficient for every streamline.

#include "performance_model.hpp"

namespace quorl {

class performance_model_const_t : public performance_model_t {
public:
    performance_model_const_t(const blade_row_t& row, double deviation_value, double pressure_loss_value)
        : row(row), deviation_value(deviation_value), pressure_loss_value(pressure_loss_value) {}

    double deviation(int i1, int i2, int j) const override;
    double incidence(int i1, int i2, int j) const override;
    double pressure_loss(int i1, int i2, int j) const override;

    const blade_row_t& row;       // the owning row
    double deviation_value;       // deg
    double pressure_loss_value;   // total-pressure loss coefficient
};

}  // namespace quorl

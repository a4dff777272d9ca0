#pragma once
// A stand-in gas model for tests that set up a flow field by hand: every property is NaN until a
// derived class gives it, so that a code path reading a property the test did not provide ends
// in a value that is not a number instead of a plausible one.

#include <limits>

#include "thermo.hpp"

namespace quorl::test {

class fake_gas_t : public thermo_t {
public:
    double density_hp(double, double) const override { return nan(); }
    double density_pt(double, double) const override { return nan(); }
    double density_ps(double, double) const override { return nan(); }
    double entropy_hp(double, double) const override { return nan(); }
    double enthalpy_pt(double, double) const override { return nan(); }
    double entropy_pt(double, double) const override { return nan(); }
    double prandtl_pt(double, double) const override { return nan(); }
    double specific_heat_pressure_pt(double, double) const override { return nan(); }
    double sound_speed_pt(double, double) const override { return nan(); }
    double pressure_hs(double, double) const override { return nan(); }
    double viscosity_pt(double, double) const override { return nan(); }
    double temperature_ps(double, double) const override { return nan(); }
    double temperature_hp(double, double) const override { return nan(); }
    double enthalpy_ps(double, double) const override { return nan(); }

protected:
    static double nan() { return std::numeric_limits<double>::quiet_NaN(); }
};

}  // namespace quorl::test

#pragma once
// The report: boundary conditions, the tables of every quasi-normal and the machine's
// performance.

#include <ostream>

namespace quorl {

// Writes the complete report to `out`.
void quorl_print_report(std::ostream& out);

}  // namespace quorl

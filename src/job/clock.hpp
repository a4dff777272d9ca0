#pragma once
// Local date and time as the report heading shows them; replaceable for tests.

#include <functional>
#include <string>

namespace quorl {

struct local_time_text {
    std::string date;  // CCYYMMDD
    std::string time;  // hhmmss.sss
};

// The local date and time now (or what the test clock gives).
local_time_text local_time_now();

// Replaces the clock (an empty function restores the real one). For tests.
void set_clock_for_tests(std::function<local_time_text()> clock);

}  // namespace quorl

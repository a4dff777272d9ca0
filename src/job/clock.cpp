#include "clock.hpp"

#include <chrono>
#include <ctime>

#include <fmt/format.h>

namespace quorl {

namespace {

std::function<local_time_text()>& test_clock() {
    static std::function<local_time_text()> clock;
    return clock;
}

}  // namespace

local_time_text local_time_now() {
    if (test_clock()) return test_clock()();
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return {fmt::format("{:04d}{:02d}{:02d}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
            fmt::format("{:02d}{:02d}{:02d}.{:03d}", local.tm_hour, local.tm_min, local.tm_sec, millis)};
}

void set_clock_for_tests(std::function<local_time_text()> clock) { test_clock() = std::move(clock); }

}  // namespace quorl

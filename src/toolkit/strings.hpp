#pragma once
// Small text helpers shared by the readers.

#include <string>
#include <string_view>

namespace quorl {

// The text without its trailing blanks.
inline std::string_view trim_right(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

// Word comparison used for every name read from the job file: case-sensitive,
// trailing blanks of the value ignored.
inline bool same_word(std::string_view value, std::string_view word) { return trim_right(value) == word; }

}  // namespace quorl

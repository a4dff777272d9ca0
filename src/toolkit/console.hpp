#pragma once
// Console records: free-format (list-directed) records and the fixed formats of the report.

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

namespace quorl::console {

// One item of a free-format record.
class item {
public:
    enum class kind { text, real, integer, logical };

    item(const char* s) : kind_(kind::text), text_(s) {}
    item(std::string_view s) : kind_(kind::text), text_(s) {}
    item(const std::string& s) : kind_(kind::text), text_(s) {}
    item(double x) : kind_(kind::real), real_(x) {}
    item(std::int32_t n) : kind_(kind::integer), integer_(n) {}
    item(bool b) : kind_(kind::logical), logical_(b) {}

    kind type() const { return kind_; }
    std::string_view text() const { return text_; }
    double real() const { return real_; }
    std::int32_t integer() const { return integer_; }
    bool logical() const { return logical_; }

private:
    kind kind_;
    std::string_view text_;
    double real_ = 0.0;
    std::int32_t integer_ = 0;
    bool logical_ = false;
};

// A 64-bit real in its 25 columns: fixed form with 17 significant digits and 5 trailing
// blanks for zero and for magnitudes from 0.1 to below 1e17, otherwise exponent form with a
// three-digit exponent; NaN, Infinity, -Infinity right-justified.
std::string format_real(double x);

// A 32-bit integer right-justified in 11 columns.
std::string format_integer(std::int32_t n);

// The record's text without line end: one leading blank, items separated by one blank except
// between two consecutive texts. No items gives the empty record.
std::string record(std::initializer_list<item> items);

// Writes record(items) and a line end.
void write(std::ostream& out, std::initializer_list<item> items);

// The same, then flushes `out`: progress and warning records reach a log file or a pipe at
// once, also when the run is killed or hangs later.
void write_now(std::ostream& out, std::initializer_list<item> items);

// A warning: the record of `text` on standard output and the same line on standard error.
void warn(std::string_view text);

// Makes std::cout remember how writing standard output failed: it still writes through the C
// library's stdout exactly as before (same buffering, same flushes), and the first write or
// flush that fails keeps its errno. Called by main before anything is written.
void watch_standard_output();

// Flushes std::cout and returns the errno of the first failed write to standard output, 0 when
// every write so far reached it.
int standard_output_error();

// Fixed formats.
// Aw: text right-justified in w columns, or its first w characters when longer.
std::string format_A(std::string_view s, int w);
// Iw: integer right-justified in w columns; w asterisks when it does not fit.
std::string format_I(std::int64_t n, int w);
// Fw.d: fixed point with d decimals right-justified in w columns; w asterisks when it does not
// fit; NaN and Infinity right-justified; a negative value that rounds to zero keeps its sign.
std::string format_F(double x, int w, int d);

}  // namespace quorl::console

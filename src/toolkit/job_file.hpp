#pragma once
// Reading the job file: a thin layer over toml++ with the lookup and reading conventions that
// every loader uses, and located diagnostics that point at a value in the file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

namespace quorl {

// Outcome of a read. The readers test only success or not.
enum toml_stat : int {
    stat_success = 0,
    stat_fatal = -1,
    stat_duplicate_key = -2,
    stat_type_mismatch = -3,
    stat_conversion_error = -4,
    stat_missing_key = -5,
};

// Child table by key, without creating it; nullptr when missing or not a table.
const toml::table* get_table(const toml::table& parent, std::string_view key);
// Child table by key, created empty when the key is missing; nullptr when present but not a table.
toml::table* get_table_create(toml::table& parent, std::string_view key);
// Child array by key, without creating it; nullptr when missing or not an array.
const toml::array* get_array(const toml::table& parent, std::string_view key);
// The node under a key (for its source position), or nullptr.
const toml::node* get_node(const toml::table& parent, std::string_view key);

// Reading one value from a node: real (TOML float, or an integer with an exact double value),
// 32-bit integer (TOML integer in range; a float is a kind mismatch), logical, string.
// On success the value is stored and 0 returned; otherwise `value` is unchanged.
int read_node(const toml::node* node, double& value);
int read_node(const toml::node* node, std::int32_t& value);
int read_node(const toml::node* node, bool& value);
int read_node(const toml::node* node, std::string& value);

// Required or optional keys: read with a status and without a default; missing gives stat_missing_key.
template <class T>
int get_value(const toml::table& table, std::string_view key, T& value) {
    return read_node(get_node(table, key), value);
}

// Keys with a default: a missing key takes the default with status 0; a key of another kind
// leaves the default in `value` and returns the failure.
template <class T>
int get_value(const toml::table& table, std::string_view key, T& value, const T& default_value) {
    const toml::node* node = get_node(table, key);
    value = default_value;
    if (node == nullptr) return stat_success;
    return read_node(node, value);
}

// Array access: length, 1-based element, and the whole array as reals.
int array_length(const toml::array& array);
const toml::node* array_element(const toml::array& array, int index);
// All elements as reals; returns the 1-based index of the first element that is not a number,
// or 0 when every element was read.
int array_to_reals(const toml::array& array, std::vector<double>& values);

// Reads a key that has a default; a key present with another kind of value ends the run with
// "<where><key> must be <kind>" (kind "a number", "an integer", "a boolean", "a string").
double get_real_or_stop(const toml::table& table, std::string_view key, double default_value,
                        std::string_view where);

// The parse context: the file name and source text, for located diagnostics.
struct toml_context {
    std::string filename;
    std::string source;

    // The message rendered at a node's position: a heading with the message, the file name,
    // line and column, the source line and a caret under the value.
    std::string report(std::string_view message, const toml::node* at) const;
    // The same at a given 1-based line and column (width: number of carets).
    std::string report_at(std::string_view message, int line, int column, int width = 1) const;
};

// Loads and parses a job file. On failure returns false and fills `error` with the reader's
// message: "Could not open file '<name>'" or the rendered parse diagnostic.
bool toml_load_file(const std::string& filename, toml::table& table, toml_context& context,
                    std::string& error);

// Parses TOML text held in memory (tests and tools); the same diagnostics as toml_load_file.
bool toml_load_string(std::string_view text, const std::string& filename, toml::table& table,
                      toml_context& context, std::string& error);

}  // namespace quorl

#include "job_file.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <utility>

#include <fmt/format.h>

#include "stop.hpp"
#include "system_memory.hpp"

namespace quorl {

const toml::table* get_table(const toml::table& parent, std::string_view key) {
    const toml::node* node = parent.get(key);
    return node != nullptr ? node->as_table() : nullptr;
}

toml::table* get_table_create(toml::table& parent, std::string_view key) {
    toml::node* node = parent.get(key);
    if (node == nullptr) {
        auto [it, inserted] = parent.insert(key, toml::table{});
        return it->second.as_table();
    }
    return node->as_table();
}

const toml::array* get_array(const toml::table& parent, std::string_view key) {
    const toml::node* node = parent.get(key);
    return node != nullptr ? node->as_array() : nullptr;
}

const toml::node* get_node(const toml::table& parent, std::string_view key) { return parent.get(key); }

int read_node(const toml::node* node, double& value) {
    if (node == nullptr) return stat_missing_key;
    if (const auto* f = node->as_floating_point()) {
        value = f->get();
        return stat_success;
    }
    if (const auto* i = node->as_integer()) {
        const std::int64_t n = i->get();
        const double d = static_cast<double>(n);
        // Exact only when converting back gives the same integer (2^63 itself is out of range).
        if (d >= 9223372036854775808.0 || static_cast<std::int64_t>(d) != n) return stat_conversion_error;
        value = d;
        return stat_success;
    }
    return stat_type_mismatch;
}

int read_node(const toml::node* node, std::int32_t& value) {
    if (node == nullptr) return stat_missing_key;
    const auto* i = node->as_integer();
    if (i == nullptr) return stat_type_mismatch;
    const std::int64_t n = i->get();
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return stat_conversion_error;
    value = static_cast<std::int32_t>(n);
    return stat_success;
}

int read_node(const toml::node* node, bool& value) {
    if (node == nullptr) return stat_missing_key;
    const auto* b = node->as_boolean();
    if (b == nullptr) return stat_type_mismatch;
    value = b->get();
    return stat_success;
}

int read_node(const toml::node* node, std::string& value) {
    if (node == nullptr) return stat_missing_key;
    const auto* s = node->as_string();
    if (s == nullptr) return stat_type_mismatch;
    value = s->get();
    return stat_success;
}

int array_length(const toml::array& array) { return static_cast<int>(array.size()); }

const toml::node* array_element(const toml::array& array, int index) {
    if (index < 1 || static_cast<std::size_t>(index) > array.size()) return nullptr;
    return array.get(static_cast<std::size_t>(index - 1));
}

int array_to_reals(const toml::array& array, std::vector<double>& values) {
    values.assign(array.size(), 0.0);
    for (std::size_t k = 0; k < array.size(); ++k) {
        if (read_node(array.get(k), values[k]) != stat_success) return static_cast<int>(k + 1);
    }
    return 0;
}

double get_real_or_stop(const toml::table& table, std::string_view key, double default_value,
                        std::string_view where) {
    double value = default_value;
    if (get_value(table, key, value, default_value) != stat_success)
        fatal(fmt::format("{}{} must be a number", where, key));
    return value;
}

namespace {

std::string_view source_line(std::string_view source, int line) {
    std::size_t start = 0;
    for (int l = 1; l < line; ++l) {
        const std::size_t nl = source.find('\n', start);
        if (nl == std::string_view::npos) return {};
        start = nl + 1;
    }
    std::size_t end = source.find('\n', start);
    if (end == std::string_view::npos) end = source.size();
    std::string_view text = source.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return text;
}

bool parse(std::string_view text, const std::string& filename, toml::table& table, toml_context& context,
           std::string& error) {
    context.filename = filename;
    context.source = std::string(text);
    try {
        table = toml::parse(context.source, filename);
    } catch (const toml::parse_error& e) {
        const auto& where = e.source().begin;
        error = context.report_at(e.description(), static_cast<int>(where.line), static_cast<int>(where.column));
        table = toml::table{};
        return false;
    }
    return true;
}

}  // namespace

std::string toml_context::report_at(std::string_view message, int line, int column, int width) const {
    const std::string_view text = source_line(source, line);
    const std::string number = std::to_string(line);
    const std::string gutter(number.size(), ' ');
    std::string out = fmt::format("error: {}\n{}--> {}:{}:{}\n{} |\n{} | {}\n{} | ", message, gutter, filename, line,
                                  column, gutter, number, text, gutter);
    out.append(static_cast<std::size_t>(column > 1 ? column - 1 : 0), ' ');
    out.append(static_cast<std::size_t>(width > 1 ? width : 1), '^');
    out.append(fmt::format("\n{} |", gutter));
    return out;
}

std::string toml_context::report(std::string_view message, const toml::node* at) const {
    if (at == nullptr) return fmt::format("error: {}\n --> {}", message, filename);
    const toml::source_region& region = at->source();
    const int line = static_cast<int>(region.begin.line);
    const int column = static_cast<int>(region.begin.column);
    int width = 1;
    if (region.end.line == region.begin.line && region.end.column > region.begin.column)
        width = static_cast<int>(region.end.column - region.begin.column);
    return report_at(message, line, column, width);
}

bool toml_load_file(const std::string& filename, toml::table& table, toml_context& context, std::string& error) {
    const auto fail = [&](std::string message) {
        error = std::move(message);
        table = toml::table{};
        context = toml_context{filename, {}};
        return false;
    };
    const std::string cannot_open = "Could not open file '" + filename + "'";
    std::error_code ec;
    std::ifstream in;
    if (!std::filesystem::is_directory(filename, ec)) in.open(filename, std::ios::binary);
    if (!in.is_open()) return fail(cannot_open);
    // A file too large for memory ends like one that cannot be read. It is refused by its size
    // before anything is allocated, and an allocation that fails all the same is caught.
    const std::string too_large = "Could not read file '" + filename + "': it does not fit in memory";
    try {
        std::string text;
        const std::uintmax_t size = std::filesystem::is_regular_file(filename, ec)
                                        ? std::filesystem::file_size(filename, ec)
                                        : std::uintmax_t{0};
        const double memory = physical_memory_bytes();
        if (!ec && memory > 0.0 && static_cast<double>(size) >= memory) return fail(too_large);
        if (!ec) text.reserve(static_cast<std::size_t>(size));
        char chunk[65536];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return fail(cannot_open);  // a read error part way: the text is not the file's
        return parse(text, filename, table, context, error);
    } catch (const std::bad_alloc&) {
        return fail(too_large);
    }
}

bool toml_load_string(std::string_view text, const std::string& filename, toml::table& table,
                      toml_context& context, std::string& error) {
    return parse(text, filename, table, context, error);
}

}  // namespace quorl

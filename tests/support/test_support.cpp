#include "test_support.hpp"

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "job_file.hpp"

namespace quorl::test {

namespace {

std::string shell_quote(std::string_view s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    q += "'";
    return q;
}

}  // namespace

run_result run_program(const std::string& binary, const std::vector<std::string>& args,
                       const std::filesystem::path& workdir, int timeout_seconds) {
    const auto out_path = workdir / ".quorl_test_stdout";
    const auto err_path = workdir / ".quorl_test_stderr";
    std::string command = "cd ";
    command.append(shell_quote(workdir.string()));
    command.append(" && timeout -s KILL ").append(std::to_string(timeout_seconds)).append(" ");
    command.append(shell_quote(binary));
    for (const auto& a : args) command.append(" ").append(shell_quote(a));
    command.append(" > ").append(shell_quote(out_path.string()));
    command.append(" 2> ").append(shell_quote(err_path.string()));
    const int raw = std::system(command.c_str());
    run_result result;
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return result;
}

std::filesystem::path fresh_dir(std::string_view name) {
    const auto dir = std::filesystem::current_path() / "test_output" / std::string(name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void write_file(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

toml::table parse_toml(std::string_view text) {
    toml::table table;
    toml_context context;
    std::string error;
    if (!toml_load_string(text, "test.toml", table, context, error)) ADD_FAILURE() << error;
    return table;
}

std::filesystem::path source_path(std::string_view name) {
    return std::filesystem::path(QUORL_SOURCE_DIR) / name;
}

std::filesystem::path golden_path(std::string_view name) { return source_path("tests/golden") / name; }

bool updating_golden() {
    const char* update = std::getenv("QUORL_UPDATE_GOLDEN");
    return update != nullptr && std::string_view(update) == "1";
}

std::string without_date(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.find(" generated on ") == std::string::npos) out += line + "\n";
    return out;
}

double report_value(const std::string& out, const std::string& label) {
    // The label itself, padded with blanks up to its colon ("Mass flow rate" is not "Mass flow
    // rate at inlet").
    for (std::size_t at = out.find(" " + label + " "); at != std::string::npos; at = out.find(" " + label + " ", at + 1)) {
        const std::size_t colon = out.find_first_not_of(' ', at + 1 + label.size());
        if (colon != std::string::npos && out[colon] == ':') return std::strtod(out.c_str() + colon + 1, nullptr);
    }
    return std::nan("");
}

}  // namespace quorl::test

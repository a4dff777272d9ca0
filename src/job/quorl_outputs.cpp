// The output files of a run, checked together before the first of them is written.

#include <string>
#include <string_view>
#include <vector>

#include "job_file.hpp"
#include "output_file.hpp"
#include "quorl.hpp"
#include "stop.hpp"
#include "strings.hpp"

namespace quorl {

namespace {

struct named_output {
    std::string key;   // the job-file key that names the file
    std::string file;  // the file as its writer names it
};

// The name shown in a message: a NUL character as \0.
std::string shown(std::string_view file) {
    std::string out;
    for (const char c : file) {
        if (c == '\0') out += "\\0";
        else out += c;
    }
    return out;
}

// The file named by the string key `key` of the table `table`, as its writer reads it
// (trailing blanks dropped); nothing when the table or the string is missing.
void add_file_key(std::vector<named_output>& outputs, const toml::table& root, const char* table, const char* key) {
    const toml::table* t = get_table(root, table);
    std::string file;
    if (t == nullptr || get_value(*t, key, file) != stat_success) return;
    outputs.push_back({std::string(table) + "." + key, std::string(trim_right(file))});
}

}  // namespace

void quorl_job_t::check_output_files() const {
    std::vector<named_output> outputs;
    add_file_key(outputs, table, "reports", "file");
    add_file_key(outputs, table, "results", "file");

    for (const named_output& o : outputs) {
        if (o.file.find('\0') != std::string::npos)
            file_error("Error: " + o.key + " '" + shown(o.file) + "' holds a NUL character");
    }

    // The figures go to fixed names with the extension of `format` (one with a NUL character is
    // refused with the figures' settings).
    std::vector<named_output> figures;
    if (const toml::table* plots = get_table(table, "plots")) {
        std::string format;
        if (get_value(*plots, "format", format, std::string("png")) == stat_success &&
            format.find('\0') == std::string::npos) {
            for (const char* figure : {"machine", "mesh", "pressure_by_r", "Ct_by_r", "Cm_by_r"})
                figures.push_back({"plots.format", std::string(figure) + "." + format});
        }
    }
    std::vector<named_output> written = outputs;
    written.insert(written.end(), figures.begin(), figures.end());
    if (!context.filename.empty()) {
        for (const named_output& o : written) {
            if (!o.file.empty() && o.file.find('\0') == std::string::npos && same_file(o.file, context.filename))
                file_error("Error: " + o.key + " names the job file '" + o.file + "' as an output");
        }
    }

    if (outputs.size() == 2 && !outputs[0].file.empty() && same_file(outputs[0].file, outputs[1].file))
        file_error("Error: " + outputs[1].key + " '" + outputs[1].file + "' is the same file as " + outputs[0].key +
                   " '" + outputs[0].file + "'");
    for (const named_output& o : outputs) {
        for (const named_output& f : figures) {
            if (!o.file.empty() && same_file(o.file, f.file))
                file_error("Error: " + o.key + " '" + o.file + "' is the same file as the figure '" + f.file + "'");
        }
    }
}

}  // namespace quorl

// Every shipped example through the real binary: each one runs to its end, and each figure that
// its comment header states (pressure ratio, efficiency, power, the total enthalpy per kg that
// the rotor adds or takes out, the efficiency at another mass flow) is the one its run prints, to
// the digits the header writes (for an example that runs another one's machine, those of that
// one's header). The figures are found in the header by the words around them, so the header
// and this table cannot drift apart unnoticed.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;

using quorl::test::report_value;

struct stated_figure {
    const char* phrase;                          // words in the example's header right before the number
    double (*reported)(const std::string& out);  // the figure as the run prints it
};

const stated_figure compressor_ratio{"total-to-total pressure ratio of about", [](const std::string& out) {
                                         return report_value(out, "Compression  (total-total)");
                                     }};
const stated_figure turbine_ratio{"total-to-total expansion ratio of about", [](const std::string& out) {
                                      return report_value(out, "Expansion rate  (total-total)");
                                  }};
const stated_figure efficiency{"isentropic efficiency of about",
                               [](const std::string& out) { return report_value(out, "Efficiency"); }};
const stated_figure power{"a power of about", [](const std::string& out) { return report_value(out, "Power"); }};

// Total enthalpy per kg that the rotor adds (compressor) or takes out (turbine): |power| / mass flow.
double specific_work(const std::string& out) {
    return std::fabs(report_value(out, "Power")) / report_value(out, "Mass flow rate");
}

struct example_case {
    const char* file;
    std::vector<stated_figure> figures;
    int other_flows = 0;   // statements "about <efficiency> % at <mdot_in> kg/s" in the header
    const char* stated_in = nullptr;  // the example whose header states the figures, when not its own
};

const std::vector<example_case> examples = {
    // The machine of compressor_stage.toml on CoolProp air; the stand-in library's air is the
    // perfect gas of that example, so the run prints the figures its header states.
    {"air_coolprop.toml", {compressor_ratio, efficiency, power}, 0, "compressor_stage.toml"},
    {"co2_turbine_aungier_gas.toml",
     {turbine_ratio, efficiency, power, {"the rotor takes out about", specific_work}}},
    {"compressor_stage.toml", {compressor_ratio, efficiency, power, {"and with it about", specific_work}}},
    {"compressor_stage_lieblein.toml", {compressor_ratio, efficiency}, 2},
    {"turbine_stage.toml", {turbine_ratio, efficiency, power}},
};

// The leading comment block of a job file as one line of words.
std::string header_text(const std::string& job) {
    std::istringstream in(job);
    std::string line, text;
    while (std::getline(in, line) && !line.empty() && line[0] == '#') {
        const std::size_t start = line.find_first_not_of("# ");
        if (start != std::string::npos) text.append(line, start).append(" ");
    }
    return text;
}

// A number as the header writes it, in base units (W, J/kg) when followed by kW, MW or kJ/kg,
// and half a unit of its last written digit.
struct stated_value {
    double value = std::nan("");
    double half_unit = 0.0;
};

stated_value stated_number(const char* begin) {
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    const std::string number(begin, static_cast<const char*>(end));
    const std::size_t point = number.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    std::string unit;
    std::istringstream(end) >> unit;
    const double scale = unit == "kW" || unit == "kJ/kg" ? 1e3 : unit == "MW" ? 1e6 : 1.0;
    return {value * scale, 0.5 * std::pow(10.0, -decimals) * scale};
}

// The number after `phrase` in the header; NaN when the phrase is missing.
stated_value stated(const std::string& header, const std::string& phrase) {
    const std::size_t at = header.find(phrase + " ");
    if (at == std::string::npos) return {};
    return stated_number(header.c_str() + at + phrase.size() + 1);
}

// Every "about X % at Y kg/s" of a header, as the texts X and Y: the efficiency it states at
// another mass flow.
std::vector<std::pair<std::string, std::string>> efficiencies_at_other_flows(const std::string& header) {
    const auto number = [&](std::size_t& at) {
        const std::size_t begin = at;
        while (at < header.size() && (std::isdigit(static_cast<unsigned char>(header[at])) || header[at] == '.')) ++at;
        return header.substr(begin, at - begin);
    };
    std::vector<std::pair<std::string, std::string>> found;
    for (std::size_t at = header.find("about "); at != std::string::npos; at = header.find("about ", at + 1)) {
        std::size_t p = at + 6;
        const std::string eta = number(p);
        if (eta.empty() || header.compare(p, 6, " % at ") != 0) continue;
        p += 6;
        const std::string mdot = number(p);
        if (mdot.empty() || header.compare(p, 5, " kg/s") != 0) continue;
        found.emplace_back(eta, mdot);
    }
    return found;
}

// The job file of an example, without figures, with the stand-in wherever a CoolProp library is
// named, and with `mdot_in` when one is given.
std::string job_text(const std::string& text, double mdot_in = 0.0) {
    toml::table job = quorl::test::parse_toml(text);
    job.erase("plots");
    if (toml::table* coolprop = job.at_path("thermo.coolprop").as_table())
        coolprop->insert_or_assign("library", QUORL_COOLPROP_STANDIN);
    if (mdot_in > 0.0) job.at_path("boundary_conditions").as_table()->insert_or_assign("mdot_in", mdot_in);
    std::ostringstream out;
    out << job;
    return out.str();
}

quorl::test::run_result run_job(const std::string& name, const std::string& job) {
    const fs::path dir = quorl::test::fresh_dir("example_" + name);
    quorl::test::write_file(dir / "job.toml", job);
    return quorl::test::run_quorl({"-i", "job.toml"}, dir);
}

TEST(ShippedExamples, EveryShippedExampleIsInTheTable) {
    for (const auto& entry : fs::directory_iterator(quorl::test::source_path("examples"))) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".toml") continue;
        EXPECT_TRUE(std::any_of(examples.begin(), examples.end(), [&](const example_case& c) { return name == c.file; }))
            << name;
    }
}

TEST(ShippedExamples, RunAndPrintTheFiguresTheirHeadersState) {
    for (const auto& example : examples) {
        SCOPED_TRACE(example.file);
        const std::string text = quorl::test::read_file(quorl::test::source_path("examples") / example.file);
        const std::string header = example.stated_in
                                       ? header_text(quorl::test::read_file(quorl::test::source_path("examples") /
                                                                            example.stated_in))
                                       : header_text(text);

        const auto run = run_job(example.file, job_text(text));
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.out.find("NaN"), std::string::npos);
        // No warning either: none says that the machine does not do what its type says.
        EXPECT_EQ(run.err, "");

        for (const auto& figure : example.figures) {
            SCOPED_TRACE(figure.phrase);
            const stated_value s = stated(header, figure.phrase);
            ASSERT_TRUE(std::isfinite(s.value)) << "the header does not state it";
            EXPECT_NEAR(figure.reported(run.out), s.value, s.half_unit);
        }

        // The same machine at another mass flow, as the header suggests trying.
        int other_flows = 0;
        for (const auto& [eta_text, mdot_text] : efficiencies_at_other_flows(header)) {
            SCOPED_TRACE(eta_text + " % at " + mdot_text + " kg/s");
            ++other_flows;
            const stated_value eta = stated_number(eta_text.c_str());
            const double mdot_in = std::strtod(mdot_text.c_str(), nullptr);
            const auto off = run_job(std::string(example.file) + "_" + mdot_text, job_text(text, mdot_in));
            ASSERT_EQ(off.status, 0) << off.out << off.err;
            EXPECT_EQ(off.err, "");
            EXPECT_NEAR(report_value(off.out, "Efficiency"), eta.value, eta.half_unit);
        }
        EXPECT_EQ(other_flows, example.other_flows);
    }
}

}  // namespace

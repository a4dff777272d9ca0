// Every shipped example through the real binary: each one runs to its end, and each figure that
// its comment header states (pressure ratio, efficiency, power) is the one its report prints, to
// the digits the header writes. The figures are found in the header by the phrase before them,
// so the header and this table cannot drift apart unnoticed.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;

struct stated_figure {
    const char* report_label;   // label of the report's performance block
    const char* phrase;         // words in the example's header right before the number
};

struct example_case {
    const char* file;
    std::vector<stated_figure> figures;
};

const stated_figure compressor_ratio{"Compression  (total-total)", "total-to-total pressure ratio of about"};
const stated_figure turbine_ratio{"Expansion rate  (total-total)", "total-to-total expansion ratio of about"};
const stated_figure efficiency{"Efficiency", "isentropic efficiency of about"};
const stated_figure power{"Power", "a power of about"};

const std::vector<example_case> examples = {
    {"air_coolprop.toml", {}},   // the machine of compressor_stage.toml; states no figures of its own
    {"co2_turbine_aungier_gas.toml", {turbine_ratio, efficiency, power}},
    {"compressor_stage.toml", {compressor_ratio, efficiency, power}},
    {"compressor_stage_lieblein.toml", {compressor_ratio, efficiency}},
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

// The number after `phrase` in the header, in W when followed by kW or MW, and half a unit of
// its last written digit. NaN when the phrase is missing.
struct stated_value {
    double value = std::nan("");
    double half_unit = 0.0;
};

stated_value stated(const std::string& header, const std::string& phrase) {
    const std::size_t at = header.find(phrase + " ");
    if (at == std::string::npos) return {};
    const char* begin = header.c_str() + at + phrase.size() + 1;
    char* end = nullptr;
    stated_value s;
    s.value = std::strtod(begin, &end);
    const std::string number(begin, static_cast<const char*>(end));
    const std::size_t point = number.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    s.half_unit = 0.5 * std::pow(10.0, -decimals);
    const std::string unit = std::string(end).substr(0, 3);
    const double scale = unit == " kW" ? 1e3 : unit == " MW" ? 1e6 : 1.0;
    s.value *= scale;
    s.half_unit *= scale;
    return s;
}

// The value after a label of the report's performance block.
double report_value(const std::string& out, const std::string& label) {
    const std::size_t at = out.find(" " + label + " ");
    if (at == std::string::npos) return std::nan("");
    return std::strtod(out.c_str() + out.find(':', at) + 1, nullptr);
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
        const std::string header = header_text(text);

        // Without figures, and with the stand-in wherever a CoolProp library is named.
        toml::table job = quorl::test::parse_toml(text);
        job.erase("plots");
        if (toml::table* coolprop = job.at_path("thermo.coolprop").as_table())
            coolprop->insert_or_assign("library", QUORL_COOLPROP_STANDIN);
        std::ostringstream job_text;
        job_text << job;
        const fs::path dir = quorl::test::fresh_dir(std::string("example_") + example.file);
        quorl::test::write_file(dir / "job.toml", job_text.str());

        const auto run = quorl::test::run_quorl({"-i", "job.toml"}, dir);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.out.find("NaN"), std::string::npos);

        for (const auto& figure : example.figures) {
            SCOPED_TRACE(figure.phrase);
            const stated_value s = stated(header, figure.phrase);
            ASSERT_TRUE(std::isfinite(s.value)) << "the header does not state it";
            EXPECT_NEAR(report_value(run.out, figure.report_label), s.value, s.half_unit);
        }
    }
}

}  // namespace

// Mutated job files through the real binary. Every shipped example is taken apart a few keys at a
// time (keys deleted, values of the wrong kind, huge and non-finite numbers, empty arrays, NaN
// geometry, zero blade counts, bad streamline counts) and every run must end with exit status
// 0, 1 or 2 and a message, never with a signal or a hang, and must leave no half-written report
// or results file behind.
//
// QUORL_FUZZ_RUNS sets the number of mutated jobs per example and block (default 12).

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::run_quorl;
using quorl::test::write_file;

constexpr int blocks_per_example = 4;
constexpr int run_timeout_seconds = 60;

int runs_per_block() {
    if (const char* s = std::getenv("QUORL_FUZZ_RUNS")) {
        const int n = std::atoi(s);
        if (n > 0) return n;
    }
    return 12;
}

std::vector<fs::path> example_jobs() {
    std::vector<fs::path> jobs;
    for (const auto& entry : fs::directory_iterator(quorl::test::source_path("examples"))) {
        if (entry.path().extension() == ".toml") jobs.push_back(entry.path());
    }
    std::sort(jobs.begin(), jobs.end());
    return jobs;
}

// One place in the document that a mutation can change: a key of a table or an element of an array.
struct slot {
    toml::table* table = nullptr;
    std::string key;
    toml::array* array = nullptr;
    std::size_t index = 0;

    toml::node* get() const { return table != nullptr ? table->get(key) : array->get(index); }
};

void collect(toml::node& node, std::vector<slot>& slots) {
    if (auto* t = node.as_table()) {
        for (auto&& [k, v] : *t) {
            slots.push_back({t, std::string(k.str()), nullptr, 0});
            collect(v, slots);
        }
    } else if (auto* a = node.as_array()) {
        for (std::size_t i = 0; i < a->size(); ++i) {
            slots.push_back({nullptr, {}, a, i});
            collect(*a->get(i), slots);
        }
    }
}

template <class V>
void replace(const slot& s, V&& value) {
    if (s.table != nullptr) s.table->insert_or_assign(s.key, std::forward<V>(value));
    else s.array->replace(s.array->cbegin() + static_cast<std::ptrdiff_t>(s.index), std::forward<V>(value));
}

void erase(const slot& s) {
    if (s.table != nullptr) s.table->erase(s.key);
    else s.array->erase(s.array->cbegin() + static_cast<std::ptrdiff_t>(s.index));
}

// Replacement values: every kind the reader may meet, and the numbers that break arithmetic.
void replace_with_odd_value(const slot& s, std::mt19937& rng) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    switch (std::uniform_int_distribution<int>(0, 16)(rng)) {
        case 0: replace(s, "text"); break;
        case 1: replace(s, true); break;
        case 2: replace(s, 0); break;
        case 3: replace(s, -1); break;
        case 4: replace(s, 3); break;
        case 5: replace(s, 2147483647); break;
        case 6: replace(s, int64_t{1} << 40); break;
        case 7: replace(s, 0.0); break;
        case 8: replace(s, -1.5); break;
        case 9: replace(s, 1e308); break;
        case 10: replace(s, -1e308); break;
        case 11: replace(s, 1e-300); break;
        case 12: replace(s, nan); break;
        case 13: replace(s, inf); break;
        case 14: replace(s, -inf); break;
        case 15: replace(s, toml::array{}); break;
        default: replace(s, toml::table{}); break;
    }
}

// Hostile inputs that random picks reach too rarely: very few (or no) streamlines, a row without
// blades, NaN coordinates in a leading edge or the hub outline, an empty outlet-angle table, and a
// mass flow far beyond what the annulus can pass.
void targeted_mutation(toml::table& root, std::mt19937& rng) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto* rows = root.at_path("machine.blade_row").as_array();
    auto* row = rows != nullptr && !rows->empty() ? rows->get(0)->as_table() : nullptr;
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
        case 0: {
            const int counts[] = {-7, 0, 1, 2, 3, 4};
            root.insert_or_assign("solver", toml::table{{"number_of_streamlines", counts[rng() % 6]}});
            break;
        }
        case 1:
            if (row != nullptr) row->insert_or_assign("number_of_blades", 0);
            break;
        case 2:
            if (row != nullptr) row->insert_or_assign("leading_edge", toml::array{toml::array{nan, nan}, toml::array{0.1, 0.3}});
            break;
        case 3:
            if (auto* m = root["machine"].as_table()) m->insert_or_assign("hub_outline", toml::array{toml::array{0.0, nan}, toml::array{0.3, nan}});
            break;
        case 4:
            if (row != nullptr) row->insert_or_assign("outlet_angle", toml::array{});
            break;
        default:
            if (auto* b = root["boundary_conditions"].as_table()) b->insert_or_assign("mdot_in", 1e6);
            break;
    }
}

void mutate(toml::table& root, std::mt19937& rng) {
    const int count = std::uniform_int_distribution<int>(1, 3)(rng);
    for (int m = 0; m < count; ++m) {
        std::vector<slot> slots;
        collect(root, slots);
        const int what = std::uniform_int_distribution<int>(0, 9)(rng);
        if (what == 0 || slots.empty()) {
            targeted_mutation(root, rng);
            continue;
        }
        const slot& s = slots[std::uniform_int_distribution<std::size_t>(0, slots.size() - 1)(rng)];
        if (what <= 3) erase(s);
        else if (what == 4 && s.get()->is_array()) replace(s, toml::array{});
        else replace_with_odd_value(s, rng);
    }
}

// The outputs a run may write, under fixed names; a Python that does nothing keeps runs fast.
void ask_for_outputs(toml::table& root) {
    root.insert_or_assign("reports", toml::table{{"screen", false}, {"file", "report.txt"}});
    root.insert_or_assign("results", toml::table{{"file", "results.mat"}});
    root.insert_or_assign("plots", toml::table{{"python", "true"}});
}

// Whether a stop line (without "ERROR STOP ") is one of a failure after the solve: of the
// report, the figures or the results file, or a final state that is no solution. A wrongly
// typed plot setting stops with "1" after its diagnostic on standard output.
bool late_stop(const std::string& stop, const std::string& out) {
    for (const char* start : {"Cannot create report file", "Cannot write report file", "reports.screen must be a boolean",
                              "pyplot: ", "matfile: ", "Error: the solution is not finite",
                              "Error: the meridional velocity is not positive"})
        if (stop.starts_with(start)) return true;
    if (stop != "1") return false;
    for (const char* diagnostic : {" error: python must be string", " error: format must be string",
                                   " error: dpi must be positive integer"})
        if (out.find(diagnostic) != std::string::npos) return true;
    return false;
}

// Why a run's outputs are not whole, or "" when they are.
std::string check_outputs(const toml::table& job, const fs::path& dir, int status, const std::string& out,
                          const std::string& err) {
    const auto report = dir / "report.txt";
    if (fs::exists(report)) {
        const std::string text = read_file(report);
        // A report ends with a record of dashes and two empty records.
        if (text.size() < 4 || text.compare(text.size() - 4, 4, "-\n\n\n") != 0) {
            if (err.find("report.txt") == std::string::npos) return "report.txt is incomplete";
        }
    }
    // Every failure after the solve leaves the results file to be written; a failure before
    // it leaves none.
    bool any_late = false, all_late = true;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("ERROR STOP ")) continue;
        const bool late = late_stop(line.substr(11), out);
        any_late = any_late || late;
        all_late = all_late && late;
    }
    const auto results = dir / "results.mat";
    if (fs::exists(results)) {
        const auto size = fs::file_size(results);
        // 128-byte header and 15 matrices of 64 bytes of element header plus 8 bytes per value.
        const bool whole = size >= 128 + 15 * 64 && (size - 128) % 15 == 0 && ((size - 128) / 15 - 64) % 8 == 0;
        if (!whole) return "results.mat has a size no complete file has";
        if (status != 0 && !any_late) return "results.mat written by a run that failed before its outputs";
    } else if (job.at_path("results.file").value<std::string>() == "results.mat" &&
               err.find("results.mat") == std::string::npos && (status == 0 || all_late)) {
        return status == 0 ? "a finished run did not write results.mat"
                           : "a failure after the solve cost the results file";
    }
    return "";
}

class Fuzz : public ::testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(Fuzz, MutatedJobsEndWithAStatusAndAMessage) {
    const auto& [job_name, block] = GetParam();
    const auto job_path = quorl::test::source_path("examples") / job_name;
    const toml::table base = toml::parse_file(job_path.string());

    std::mt19937 rng(static_cast<unsigned>(std::hash<std::string>{}(job_name) + 7919u * static_cast<unsigned>(block)));
    const int runs = runs_per_block();
    for (int n = 0; n < runs; ++n) {
        toml::table root = base;
        ask_for_outputs(root);
        mutate(root, rng);
        std::ostringstream text;
        text << root << '\n';

        const auto dir = fresh_dir("fuzz_" + fs::path(job_name).stem().string() + "_" + std::to_string(block) + "_" +
                                   std::to_string(n));
        write_file(dir / "job.toml", text.str());
        const auto r = run_quorl({"-i", "job.toml"}, dir, run_timeout_seconds);

        const std::string where = "job " + (dir / "job.toml").string();
        ASSERT_TRUE(r.status == 0 || r.status == 1 || r.status == 2)
            << where << " ended with status " << r.status << " (signal or time limit)\nstderr: " << r.err;
        if (r.status == 0) {
            EXPECT_NE(r.out.find("Quorl finished successfully"), std::string::npos) << where;
        } else {
            // The stop line comes last; warnings of the run may come before it.
            const std::size_t stop = r.err.rfind("ERROR STOP ");
            EXPECT_TRUE(stop == 0 || (stop != std::string::npos && r.err[stop - 1] == '\n'))
                << where << "\nstderr: " << r.err;
            // The bare stop follows a message on standard output; every other stop carries one.
            if (r.err == "ERROR STOP \n" || r.err == "ERROR STOP 1\n") {
                EXPECT_FALSE(r.out.ends_with(" Solving ...\n") || r.out.ends_with(" ...\n"))
                    << where << ": a stop without a message\nstdout: " << r.out;
            }
        }
        const std::string fault = check_outputs(root, dir, r.status, r.out, r.err);
        EXPECT_EQ(fault, "") << where << "\nstdout tail: " << r.out.substr(r.out.size() > 400 ? r.out.size() - 400 : 0)
                             << "\nstderr: " << r.err;
        if (!HasFailure()) fs::remove_all(dir);
    }
}

std::vector<std::tuple<std::string, int>> fuzz_cases() {
    std::vector<std::tuple<std::string, int>> cases;
    for (const auto& job : example_jobs())
        for (int b = 0; b < blocks_per_example; ++b) cases.emplace_back(job.filename().string(), b);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Examples, Fuzz, ::testing::ValuesIn(fuzz_cases()), [](const auto& info) {
    std::string name = fs::path(std::get<0>(info.param)).stem().string() + "_" + std::to_string(std::get<1>(info.param));
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

}  // namespace

// MAT-file writer: byte layout of header and elements, actions, file handling, and a
// read-back of the written file by libmatio.

#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <matio.h>

#include "test_support.hpp"
#include "wendrath.hpp"

namespace {

namespace fs = std::filesystem;
using quorl::test::fresh_dir;
using quorl::test::read_file;
using quorl::test::write_file;

const wendrath::timestamp fixed_moment{2024, 3, 7, 14, 15, 2, 45};

std::int32_t int32_at(const std::string& bytes, std::size_t offset) {
    std::uint32_t u = 0;
    for (int k = 3; k >= 0; --k) u = (u << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(k)));
    return static_cast<std::int32_t>(u);
}

double real64_at(const std::string& bytes, std::size_t offset) {
    std::uint64_t u = 0;
    for (int k = 7; k >= 0; --k) u = (u << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(k)));
    double x;
    std::memcpy(&x, &u, sizeof x);
    return x;
}

std::vector<std::int32_t> int32s(const std::string& bytes, std::size_t offset, std::size_t n) {
    std::vector<std::int32_t> v;
    for (std::size_t k = 0; k < n; ++k) v.push_back(int32_at(bytes, offset + 4 * k));
    return v;
}

// Writes one file with the fixed moment; `fill` writes its variables.
template <class F>
std::string write_mat(const fs::path& path, F fill, std::optional<std::string_view> description = std::nullopt) {
    {
        wendrath::matfile mf;
        mf.clock = [] { return fixed_moment; };
        mf.open_matfile(path.string(), "w", description);
        fill(mf);
        mf.close_matfile();
    }
    return read_file(path);
}

const std::string expected_prefix = "MATLAB 5.0 MAT-file, Platform: LINUX64, Created on: 20240307  141502.045 ";

TEST(MatfileTest, HeaderLayoutAndLifecycle) {
    const fs::path path = fresh_dir("matfile_header") / "h.mat";
    wendrath::matfile mf;
    EXPECT_EQ(mf.unit, -1);
    EXPECT_EQ(mf.action, "");
    mf.clock = [] { return fixed_moment; };
    mf.open_matfile(path.string(), "w", "Quorl simulation results");
    EXPECT_NE(mf.unit, -1);
    EXPECT_EQ(mf.action, "write");
    mf.close_matfile();
    EXPECT_EQ(mf.unit, -1);
    mf.close_matfile();  // closing again does nothing
    EXPECT_EQ(mf.unit, -1);

    const std::string bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 128u);
    const std::string text = expected_prefix + "Quorl simulation results";
    ASSERT_EQ(text.size(), 97u);
    EXPECT_EQ(bytes.substr(0, 116), text + std::string(19, ' '));
    EXPECT_EQ(int32_at(bytes, 116), 0);
    EXPECT_EQ(int32_at(bytes, 120), 0);
    EXPECT_EQ(bytes[124], '\x00');
    EXPECT_EQ(bytes[125], '\x01');
    EXPECT_EQ(bytes.substr(126, 2), "IM");
}

TEST(MatfileTest, HeaderTextDescriptions) {
    struct row {
        std::optional<std::string_view> description;
        std::string expected;
    };
    const std::string long_description(60, 'x');
    const row rows[] = {
        {std::nullopt, expected_prefix + "wendrath" + std::string(116 - 81, ' ')},
        {"", expected_prefix + std::string(116 - 73, ' ')},
        {"  two  ", expected_prefix + "  two  " + std::string(116 - 80, ' ')},
        {long_description, (expected_prefix + long_description).substr(0, 116)},
    };
    for (const row& r : rows) {
        const std::string text = wendrath::header_text(fixed_moment, r.description);
        EXPECT_EQ(text.size(), 116u);
        EXPECT_EQ(text, r.expected);
    }
    // Leading zeros of every field; the last millisecond and second of a day.
    EXPECT_EQ(wendrath::header_text({987, 1, 2, 3, 4, 5, 6}, "d").substr(52, 20), "09870102  030405.006");
    EXPECT_EQ(wendrath::header_text({2023, 12, 31, 23, 59, 59, 999}, "d").substr(52, 20), "20231231  235959.999");
}

TEST(MatfileTest, DefaultClockIsLocalTimeOfOpening) {
    const fs::path path = fresh_dir("matfile_clock") / "c.mat";
    auto date_now = [] {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        char buf[16];
        std::strftime(buf, sizeof buf, "%Y%m%d", &local);
        return std::string(buf);
    };
    const std::string before = date_now();
    {
        wendrath::matfile mf;
        mf.open_matfile(path.string(), "write");
    }
    const std::string after = date_now();
    const std::string bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 128u);
    const std::string date = bytes.substr(52, 8);
    EXPECT_TRUE(date == before || date == after) << date;
    const std::string time = bytes.substr(60, 12);
    ASSERT_EQ(time.substr(0, 2), "  ");
    for (std::size_t k : {2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 11u}) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(time[k]))) << time;
    EXPECT_EQ(time[8], '.');
    EXPECT_EQ(bytes.substr(72, 44), " wendrath" + std::string(35, ' '));
}

TEST(MatfileTest, TwoByThreeMatrixElement) {
    const fs::path path = fresh_dir("matfile_ab") / "ab.mat";
    // Column-major: (1,1), (2,1), (1,2), (2,2), (1,3), (2,3).
    const std::vector<double> a = {11.0, 21.0, 12.0, 22.0, 13.0, -23.5};
    const std::string bytes = write_mat(path, [&](wendrath::matfile& mf) { mf.write_real64("ab", a, {2, 3}); });
    ASSERT_EQ(bytes.size(), 128u + 112u);
    EXPECT_EQ(int32s(bytes, 128, 10), (std::vector<std::int32_t>{14, 104, 6, 8, 6, 1, 5, 8, 2, 3}));
    EXPECT_EQ(int32s(bytes, 168, 2), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(bytes.substr(176, 8), std::string("ab\0\0\0\0\0\0", 8));
    EXPECT_EQ(int32s(bytes, 184, 2), (std::vector<std::int32_t>{9, 48}));
    for (std::size_t k = 0; k < a.size(); ++k) EXPECT_EQ(real64_at(bytes, 192 + 8 * k), a[k]);
    // Little-endian IEEE bytes of 11.0 = 0x4026000000000000.
    EXPECT_EQ(bytes.substr(192, 8), std::string("\0\0\0\0\0\0\x26\x40", 8));
}

TEST(MatfileTest, DimensionsAndNamePadding) {
    struct row {
        std::string name;
        std::vector<std::int64_t> extents;
        std::vector<std::int32_t> dims_entry;  // tag, size, extents, padding
    };
    const row rows[] = {
        {"s", {}, {5, 4, 1, 0}},
        {"vec", {5}, {5, 4, 5, 0}},
        {"eightchr", {2, 2}, {5, 8, 2, 2}},
        {"ninechars", {2, 1}, {5, 8, 2, 1}},
        {"cube", {2, 3, 4}, {5, 12, 2, 3, 4, 0}},
        {"four", {1, 2, 1, 2}, {5, 16, 1, 2, 1, 2}},
        {"seven", {1, 1, 2, 1, 1, 1, 3}, {5, 28, 1, 1, 2, 1, 1, 1, 3, 0}},
        {"empty", {3, 0}, {5, 8, 3, 0}},
        {"abcdefghijklmnopq", {1}, {5, 4, 1, 0}},
    };
    const fs::path dir = fresh_dir("matfile_dims");
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::int64_t count = 1;
        for (auto e : r.extents) count *= e;
        std::vector<double> x(static_cast<std::size_t>(count));
        for (std::size_t k = 0; k < x.size(); ++k) x[k] = 0.5 * static_cast<double>(k) - 1.0;
        const std::string bytes = write_mat(dir / (r.name + ".mat"), [&](wendrath::matfile& mf) {
            if (r.extents.empty()) mf.write_real64(r.name, 2.75);
            else mf.write_real64(r.name, x, r.extents);
        });
        if (r.extents.empty()) x = {2.75};
        const std::size_t dims_bytes = 4 * r.dims_entry.size();
        const std::size_t name_padded = 8 * ((r.name.size() + 7) / 8);
        const std::size_t N = 40 + (dims_bytes - 8) + name_padded + 8 * x.size();
        ASSERT_EQ(bytes.size(), 128 + 8 + N);
        EXPECT_EQ(int32s(bytes, 128, 6), (std::vector<std::int32_t>{14, static_cast<std::int32_t>(N), 6, 8, 6, 1}));
        EXPECT_EQ(int32s(bytes, 152, r.dims_entry.size()), r.dims_entry);
        const std::size_t at_name = 152 + dims_bytes;
        EXPECT_EQ(int32s(bytes, at_name, 2), (std::vector<std::int32_t>{1, static_cast<std::int32_t>(r.name.size())}));
        EXPECT_EQ(bytes.substr(at_name + 8, name_padded),
                  r.name + std::string(name_padded - r.name.size(), '\0'));
        const std::size_t at_real = at_name + 8 + name_padded;
        EXPECT_EQ(int32s(bytes, at_real, 2), (std::vector<std::int32_t>{9, static_cast<std::int32_t>(8 * x.size())}));
        for (std::size_t k = 0; k < x.size(); ++k) EXPECT_EQ(real64_at(bytes, at_real + 8 + 8 * k), x[k]);
    }
}

TEST(MatfileTest, RankEightWritesPartialElementThenStops) {
    const fs::path path = fresh_dir("matfile_rank8") / "r8.mat";
    const std::vector<double> x(2, 1.0);
    const std::vector<std::int64_t> extents = {1, 1, 1, 1, 1, 1, 1, 2};
    {
        wendrath::matfile mf;
        mf.clock = [] { return fixed_moment; };
        mf.open_matfile(path.string(), "w");
        try {
            mf.write_real64("big", x, extents);
            FAIL() << "rank 8 accepted";
        } catch (const wendrath::matfile_error& e) {
            EXPECT_STREQ(e.what(), "matfile: rank > 7 not supported");
            EXPECT_FALSE(e.file_error());
        }
    }  // the destructor closes the file
    const std::string bytes = read_file(path);
    // Tag, flags, dimensions (8 extents, no padding), name, and the real-part tag only.
    ASSERT_EQ(bytes.size(), 128u + 8 + 16 + 40 + 16 + 8);
    EXPECT_EQ(int32s(bytes, 128, 2), (std::vector<std::int32_t>{14, 40 + 32 + 8 + 16}));
    EXPECT_EQ(int32s(bytes, 152, 10), (std::vector<std::int32_t>{5, 32, 1, 1, 1, 1, 1, 1, 1, 2}));
    EXPECT_EQ(int32s(bytes, 208, 2), (std::vector<std::int32_t>{9, 16}));
}

TEST(MatfileTest, ActionWords) {
    struct row {
        std::string action;
        std::string error;  // empty: accepted
    };
    const row rows[] = {
        {"write", ""},
        {"w", ""},
        {"W", ""},
        {"WRITE", ""},
        {"write   ", ""},
        {"R", "matfile: reading is not yet implemented"},
        {"READ", "matfile: reading is not yet implemented"},
        {"r", "matfile: reading is not yet implemented"},
        {"read  ", "matfile: reading is not yet implemented"},
        {"Write  ", "matfile: unknown action Write  "},
        {" w", "matfile: unknown action  w"},
        {"rw", "matfile: unknown action rw"},
        {"", "matfile: unknown action "},
    };
    const fs::path dir = fresh_dir("matfile_actions");
    for (const row& r : rows) {
        SCOPED_TRACE("action '" + r.action + "'");
        const fs::path path = dir / "a.mat";
        fs::remove(path);
        wendrath::matfile mf;
        if (r.error.empty()) {
            mf.open_matfile(path.string(), r.action);
            EXPECT_EQ(mf.action, "write");
            mf.close_matfile();
            EXPECT_EQ(fs::file_size(path), 128u);
        } else {
            try {
                mf.open_matfile(path.string(), r.action);
                ADD_FAILURE() << "accepted";
            } catch (const wendrath::matfile_error& e) {
                EXPECT_EQ(std::string(e.what()), r.error);
                EXPECT_FALSE(e.file_error());
            }
            EXPECT_EQ(mf.unit, -1);
            EXPECT_EQ(mf.action, "");
            EXPECT_FALSE(fs::exists(path));
        }
    }
}

TEST(MatfileTest, ReplacesLongerFileAndDropsTrailingBlanksOfName) {
    const fs::path dir = fresh_dir("matfile_replace");
    const fs::path path = dir / "old.mat";
    write_file(path, std::string(5000, 'z'));
    {
        wendrath::matfile mf;
        mf.open_matfile(path.string() + "   ", "w");
        mf.write_real64("x", 1.0);
    }  // closed by the destructor
    EXPECT_EQ(fs::file_size(path), 128u + 72u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST(MatfileTest, FileErrors) {
    const std::string missing = (fresh_dir("matfile_errors") / "no_such_dir" / "x.mat").string();
    wendrath::matfile mf;
    try {
        mf.open_matfile(missing, "w");
        FAIL() << "opened";
    } catch (const wendrath::matfile_error& e) {
        EXPECT_EQ(std::string(e.what()), "matfile: cannot open file '" + missing + "' for writing");
        EXPECT_TRUE(e.file_error());
    }
    EXPECT_EQ(mf.unit, -1);

    // A device that refuses every write: the failure surfaces at the latest when closing.
    if (fs::exists("/dev/full")) {
        wendrath::matfile full;
        try {
            full.open_matfile("/dev/full", "w");
            full.write_real64("x", std::vector<double>(100, 1.0), {10, 10});
            full.close_matfile();
            FAIL() << "write failure not reported";
        } catch (const wendrath::matfile_error& e) {
            EXPECT_STREQ(e.what(), "matfile: cannot write file '/dev/full'");
            EXPECT_TRUE(e.file_error());
        }
        EXPECT_EQ(full.unit, -1);
    }
}

TEST(MatfileTest, SizesBeyondInt32AreRefused) {
    const fs::path path = fresh_dir("matfile_large") / "l.mat";
    wendrath::matfile mf;
    mf.open_matfile(path.string(), "w");
    for (const std::vector<std::int64_t>& extents :
         {std::vector<std::int64_t>{65536, 65536}, std::vector<std::int64_t>{0, std::int64_t{1} << 31},
          std::vector<std::int64_t>{16384, 16384}}) {
        try {
            mf.write_real64("big", std::span<const double>(), extents);
            ADD_FAILURE() << "accepted";
        } catch (const wendrath::matfile_error& e) {
            EXPECT_STREQ(e.what(), "matfile: variable 'big' is too large for a MAT-file");
            EXPECT_FALSE(e.file_error());
        }
    }
    mf.close_matfile();
    EXPECT_EQ(fs::file_size(path), 128u);
}

TEST(MatfileTest, ReadBackByMatio) {
    const fs::path path = fresh_dir("matfile_matio") / "m.mat";
    std::vector<double> cube(24);
    for (std::size_t k = 0; k < cube.size(); ++k) cube[k] = 1.0 + static_cast<double>(k) / 8.0;
    const std::vector<double> ab = {1, 2, 3, 4, 5, 6};
    write_mat(path, [&](wendrath::matfile& mf) {
        mf.write_real64("scalar", -4.5);
        mf.write_real64("ab", ab, {2, 3});
        mf.write_real64("cube_ninec", cube, {2, 3, 4});
    }, "Quorl simulation results");

    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(Mat_GetVersion(mat), MAT_FT_MAT5);
    // A scalar is written with the single extent 1, so a reader sees rank 1.
    struct expected {
        const char* name;
        std::vector<std::size_t> dims;
        const std::vector<double>* values;
    };
    const std::vector<double> scalar = {-4.5};
    for (const expected& e : {expected{"scalar", {1}, &scalar}, expected{"ab", {2, 3}, &ab},
                              expected{"cube_ninec", {2, 3, 4}, &cube}}) {
        SCOPED_TRACE(e.name);
        matvar_t* v = Mat_VarRead(mat, e.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->class_type, MAT_C_DOUBLE);
        EXPECT_EQ(v->isComplex, 0);
        ASSERT_EQ(static_cast<std::size_t>(v->rank), e.dims.size());
        for (std::size_t k = 0; k < e.dims.size(); ++k) EXPECT_EQ(v->dims[k], e.dims[k]);
        const auto* data = static_cast<const double*>(v->data);
        for (std::size_t k = 0; k < e.values->size(); ++k) EXPECT_EQ(data[k], (*e.values)[k]);
        Mat_VarFree(v);
    }
    Mat_Close(mat);
}

}  // namespace

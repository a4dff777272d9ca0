#include "job_file.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

using namespace quorl;

TEST(JobFile, ReadsEachKindByTheConventions) {
    const toml::table t = test::parse_toml(R"(
        int_value = 100000
        float_value = 10.0
        big = 2147483648
        small = -2147483648
        huge = 9007199254740993
        text = "abc"
        flag = true
        sub = { a = 1 }
    )");

    double real = -1.0;
    EXPECT_EQ(get_value(t, "int_value", real), stat_success);
    EXPECT_EQ(real, 100000.0);
    EXPECT_EQ(get_value(t, "float_value", real), stat_success);
    EXPECT_EQ(real, 10.0);
    real = -1.0;
    EXPECT_EQ(get_value(t, "huge", real), stat_conversion_error);  // 2^53 + 1 has no exact double
    EXPECT_EQ(get_value(t, "text", real), stat_type_mismatch);
    EXPECT_EQ(get_value(t, "sub", real), stat_type_mismatch);
    EXPECT_EQ(get_value(t, "missing", real), stat_missing_key);
    EXPECT_EQ(real, -1.0);

    std::int32_t n = 7;
    EXPECT_EQ(get_value(t, "float_value", n), stat_type_mismatch);
    EXPECT_EQ(get_value(t, "big", n), stat_conversion_error);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(get_value(t, "small", n), stat_success);
    EXPECT_EQ(n, -2147483647 - 1);

    bool b = false;
    EXPECT_EQ(get_value(t, "flag", b), stat_success);
    EXPECT_TRUE(b);
    EXPECT_EQ(get_value(t, "int_value", b), stat_type_mismatch);

    std::string s;
    EXPECT_EQ(get_value(t, "text", s), stat_success);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(get_value(t, "int_value", s), stat_type_mismatch);
}

TEST(JobFile, DefaultsApplyOnlyToMissingKeys) {
    const toml::table t = test::parse_toml("x = 2\ny = \"text\"\n");
    double v = 0.0;
    EXPECT_EQ(get_value(t, "missing", v, 1.5), stat_success);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(get_value(t, "x", v, 1.5), stat_success);
    EXPECT_EQ(v, 2.0);
    EXPECT_EQ(get_value(t, "y", v, 1.5), stat_type_mismatch);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(get_real_or_stop(t, "missing", 3.0, "perfect_gas."), 3.0);
    EXPECT_STOP(get_real_or_stop(t, "y", 3.0, "perfect_gas."), "perfect_gas.y must be a number");
}

TEST(JobFile, TablesAndArraysAreFoundWithoutCreationExceptOnRequest) {
    toml::table t = test::parse_toml("thermo = 3\nmachine = { type = 'x' }\nlist = [1, 2.5, 'a']\n");
    EXPECT_NE(get_table(t, "machine"), nullptr);
    EXPECT_EQ(get_table(t, "thermo"), nullptr);
    EXPECT_EQ(get_table(t, "list"), nullptr);
    EXPECT_EQ(get_table(t, "absent"), nullptr);
    EXPECT_EQ(t.contains("absent"), false);

    EXPECT_EQ(get_table_create(t, "thermo"), nullptr);  // present, not a table
    toml::table* created = get_table_create(t, "solver");
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->empty());
    EXPECT_NE(get_table(t, "solver"), nullptr);

    const toml::array* list = get_array(t, "list");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(array_length(*list), 3);
    EXPECT_EQ(get_array(t, "machine"), nullptr);
    std::vector<double> values;
    EXPECT_EQ(array_to_reals(*list, values), 3);  // the third element is not a number
    double second = 0.0;
    EXPECT_EQ(read_node(array_element(*list, 2), second), stat_success);
    EXPECT_EQ(second, 2.5);
    EXPECT_EQ(array_element(*list, 4), nullptr);
}

TEST(JobFile, LocatedDiagnosticPointsAtTheValue) {
    toml::table t;
    toml_context context;
    std::string error;
    ASSERT_TRUE(toml_load_string("[plots]\npython = 3\n", "job.toml", t, context, error));
    const toml::table* plots = get_table(t, "plots");
    ASSERT_NE(plots, nullptr);
    EXPECT_EQ(context.report("python must be string", get_node(*plots, "python")),
              "error: python must be string\n"
              " --> job.toml:2:10\n"
              "  |\n"
              "2 | python = 3\n"
              "  |          ^\n"
              "  |");
}

TEST(JobFile, LoadingReportsUnreadableAndInvalidFiles) {
    toml::table t;
    toml_context context;
    std::string error;
    EXPECT_FALSE(toml_load_file("no/such/file.toml", t, context, error));
    EXPECT_EQ(error, "Could not open file 'no/such/file.toml'");
    EXPECT_FALSE(toml_load_file(".", t, context, error));
    EXPECT_EQ(error, "Could not open file '.'");

    EXPECT_FALSE(toml_load_string("a = 1\nb = [1,\n", "bad.toml", t, context, error));
    EXPECT_NE(error.find("bad.toml:"), std::string::npos) << error;
    EXPECT_TRUE(toml_load_string("# comments only\n", "empty.toml", t, context, error));
    EXPECT_TRUE(t.empty());
}

}  // namespace

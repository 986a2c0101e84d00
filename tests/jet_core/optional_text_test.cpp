#include <gtest/gtest.h>

#include "jet/core/optional_text.h"
#include "jet/core/schema_info.h"

namespace vantrel::test {
namespace {

using jet::OptionalText;

TEST(OptionalText, AbsentAndEmptyAreDifferentAnswers) {
  OptionalText absent;
  OptionalText empty = std::string();
  EXPECT_FALSE(absent.has_value());
  EXPECT_TRUE(absent == std::nullopt);
  EXPECT_EQ(absent.value_or("<none>"), "<none>");
  EXPECT_THROW(absent.value(), std::bad_optional_access);
  EXPECT_TRUE(empty.has_value());
  EXPECT_FALSE(empty == std::nullopt);
  EXPECT_EQ(empty.value_or("<none>"), "");
  EXPECT_FALSE(absent == empty);
  EXPECT_FALSE(absent == "");
}

TEST(OptionalText, CopiesOwnTheirTextAndAssignmentsReplaceIt) {
  OptionalText rule = std::optional<std::string>("Is Not Null");
  OptionalText copy = rule;
  *copy += " And > 0";
  EXPECT_EQ(rule, "Is Not Null");
  EXPECT_EQ(copy, "Is Not Null And > 0");
  copy = rule;
  EXPECT_TRUE(copy == rule);
  copy = std::nullopt;
  EXPECT_FALSE(copy);
  EXPECT_EQ(rule->size(), 11u);
  OptionalText moved = std::move(rule);
  EXPECT_EQ(moved.to_optional(), std::optional<std::string>("Is Not Null"));
  copy = OptionalText(std::optional<std::string>());
  EXPECT_FALSE(copy.has_value());
}

TEST(OptionalText, FieldRecordsCopyTheirPropertyTexts) {
  jet::FieldInfo field;
  field.default_value = std::string("\"x\"");
  jet::FieldInfo copy = field;
  field.default_value = std::nullopt;
  EXPECT_EQ(copy.default_value, "\"x\"");
  EXPECT_FALSE(field.default_value.has_value());
}

}  // namespace
}  // namespace vantrel::test

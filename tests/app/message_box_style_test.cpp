#include "app/message_box_style.h"

#include <gtest/gtest.h>

#include "app/dialog_filter.h"

namespace vantrel::test {
namespace {

using Answers = std::vector<int>;

TEST(MessageBoxStyleTest, TheStylesThisProgramUses) {
  app::MessageBoxLayout box = app::DecodeMessageBoxStyle(0);
  EXPECT_EQ(box.answers, Answers{1});
  EXPECT_EQ(box.icon, app::MessageIcon::kNone);

  box = app::DecodeMessageBoxStyle(16);
  EXPECT_EQ(box.answers, Answers{1});
  EXPECT_EQ(box.icon, app::MessageIcon::kCritical);

  box = app::DecodeMessageBoxStyle(36);
  EXPECT_EQ(box.answers, (Answers{6, 7}));
  EXPECT_EQ(box.icon, app::MessageIcon::kQuestion);
  EXPECT_EQ(box.default_answer, 6);
  EXPECT_EQ(box.escape_answer, 7);

  box = app::DecodeMessageBoxStyle(292);  // the second button, No, is the default
  EXPECT_EQ(box.answers, (Answers{6, 7}));
  EXPECT_EQ(box.default_answer, 7);

  box = app::DecodeMessageBoxStyle(48);
  EXPECT_EQ(box.icon, app::MessageIcon::kExclamation);

  box = app::DecodeMessageBoxStyle(53);  // the file errors' Retry/Cancel
  EXPECT_EQ(box.answers, (Answers{4, 2}));
  EXPECT_EQ(box.icon, app::MessageIcon::kExclamation);
  EXPECT_EQ(box.default_answer, 4);
  EXPECT_EQ(box.escape_answer, 2);  // closing the box must never mean Retry
}

TEST(MessageBoxStyleTest, ADefaultBeyondTheButtonsFallsBackToTheFirst) {
  EXPECT_EQ(app::DecodeMessageBoxStyle(512).default_answer, 1);
  EXPECT_EQ(app::DecodeMessageBoxStyle(2 + 512).default_answer, 5);
  EXPECT_EQ(app::DecodeMessageBoxStyle(7).answers, Answers{1});
}

TEST(MessageBoxStyleTest, AnEmptyTitleShowsTheProgramsTitle) {
  EXPECT_EQ(app::MessageBoxTitle(""), "Vantrel");
  EXPECT_EQ(app::MessageBoxTitle("Compattamento DataBase"), "Compattamento DataBase");
}

TEST(DialogFilterTest, DescriptionAndPatternPairs) {
  std::vector<app::NameFilter> filters = app::SplitDialogFilter("File di Access (*.MDB)|*.mdb");
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].description, "File di Access (*.MDB)");
  EXPECT_EQ(filters[0].patterns, std::vector<std::string>{"*.mdb"});

  filters = app::SplitDialogFilter("Database|*.mdb; *.mde|Tutti");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.mdb", "*.mde"}));
  EXPECT_EQ(filters[1].patterns, std::vector<std::string>{"*"});  // a pattern left out shows everything
  EXPECT_TRUE(app::SplitDialogFilter("").empty());
}

}  // namespace
}  // namespace vantrel::test

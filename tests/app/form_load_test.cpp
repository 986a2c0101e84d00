#include "app/form_load.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/prefix_rule.h"
#include "tests/app/scripted_window_port.h"

namespace vantrel::test {
namespace {

using Fields = std::vector<std::string>;

TEST(CommandLineTest, SplitsOnEveryBarAndAlwaysGivesTheFirstThreeFields) {
  EXPECT_EQ(app::SplitCommandLine(""), Fields(6, ""));
  EXPECT_EQ(app::SplitCommandLine("C:\\a.mdb|C:\\b.mdb"), (Fields{"C:\\a.mdb", "C:\\b.mdb", "", "", "", "", ""}));
  EXPECT_EQ(app::SplitCommandLine("a||S"), (Fields{"a", "", "S", "", "", "", "", ""}));
  // Taken as written: blanks and quotes stay for the path check to deal with.
  EXPECT_EQ(app::SplitCommandLine(" \"a b\" | c")[0], " \"a b\" ");
  EXPECT_EQ(app::SplitCommandLine(" \"a b\" | c")[1], " c");
  EXPECT_EQ(app::SplitCommandLine("a|b|S|x|y|z|w").size(), 12u);
}

TEST(CommandLineTest, UnattendedNeedsBothPathsAndStaysOpenOnlyForAnExactS) {
  EXPECT_FALSE(app::IsUnattended(app::SplitCommandLine("")));
  EXPECT_FALSE(app::IsUnattended(app::SplitCommandLine("a.mdb")));
  EXPECT_FALSE(app::IsUnattended(app::SplitCommandLine("|b.mdb")));
  EXPECT_TRUE(app::IsUnattended(app::SplitCommandLine("a.mdb|b.mdb")));
  EXPECT_TRUE(app::IsUnattended(app::SplitCommandLine(" | ")));  // blanks are not empty

  EXPECT_TRUE(app::StaysOpen(app::SplitCommandLine("a|b|S")));
  EXPECT_TRUE(app::StaysOpen(app::SplitCommandLine("a|b|s")));
  EXPECT_FALSE(app::StaysOpen(app::SplitCommandLine("a|b| S")));
  EXPECT_FALSE(app::StaysOpen(app::SplitCommandLine("a|b|SI")));
  EXPECT_FALSE(app::StaysOpen(app::SplitCommandLine("a|b")));
  EXPECT_FALSE(app::StaysOpen({}));  // never indexes past what it was given
}

TEST(PrefixRuleTest, LooksAtTheFileNamePartOnly) {
  EXPECT_TRUE(app::ReferenceHasKvoPrefix("C:\\dati\\kvo_sede.mdb"));
  EXPECT_TRUE(app::ReferenceHasKvoPrefix("/srv/dati/KVO.mdb"));
  EXPECT_TRUE(app::ReferenceHasKvoPrefix("C:\\dati\\  \"KVOx.mdb\""));  // trimmed, quotes dropped
  EXPECT_FALSE(app::ReferenceHasKvoPrefix("KVO_sede.mdb"));  // no folder: no file-name part
  EXPECT_FALSE(app::ReferenceHasKvoPrefix("C:\\dati\\KV_sede.mdb"));
  EXPECT_FALSE(app::ReferenceHasKvoPrefix("C:\\KVO\\sede.mdb"));  // the folder does not count
  EXPECT_FALSE(app::ReferenceHasKvoPrefix("C:\\dati\\"));
  EXPECT_FALSE(app::ReferenceHasKvoPrefix(""));
}

class FormLoadTest : public ::testing::Test {
 protected:
  app::FormState form;
  ScriptedWindowPort window;
};

TEST_F(FormLoadTest, NoCommandLineGivesAnInteractiveRunWithEmptyBoxes) {
  form.bUscita = true;
  form.nErrore = 5;
  window.text[0] = "left over";
  window.verify_visible = true;
  app::Form_Load(form, window, "");
  EXPECT_FALSE(form.bAuto);
  EXPECT_FALSE(form.bUscita);
  EXPECT_EQ(form.nErrore, 0);
  EXPECT_EQ(window.text[0], "");
  EXPECT_EQ(window.text[1], "");
  EXPECT_FALSE(window.verify_visible);
  EXPECT_FALSE(window.update_visible);
  EXPECT_TRUE(window.platform.boxes.empty());  // nothing is checked yet
}

TEST_F(FormLoadTest, OnePathIsShownButTheRunStaysInteractive) {
  app::Form_Load(form, window, "C:\\dati\\KVO_sede.mdb");
  EXPECT_FALSE(form.bAuto);
  EXPECT_EQ(window.text[0], "C:\\dati\\KVO_sede.mdb");
  EXPECT_EQ(form.LPathAgg, "C:\\dati\\KVO_sede.mdb");
  EXPECT_TRUE(form.bKVO);

  app::Form_Load(form, window, "|/srv/locale.mdb");
  EXPECT_FALSE(form.bAuto);
  EXPECT_EQ(window.text[0], "");
  EXPECT_EQ(window.text[1], "/srv/locale.mdb");
  EXPECT_FALSE(form.bKVO);
}

TEST_F(FormLoadTest, TwoPathsMakeTheRunUnattendedWithTheFieldsKept) {
  app::Form_Load(form, window, " /srv/ref.mdb|/srv/loc.mdb |s");
  EXPECT_TRUE(form.bAuto);
  EXPECT_EQ(form.LPathAgg, " /srv/ref.mdb");  // trimmed later, by the path check
  EXPECT_EQ(window.text[1], "/srv/loc.mdb ");
  ASSERT_EQ(form.vArgs.size(), 8u);
  EXPECT_TRUE(app::StaysOpen(form.vArgs));
}

}  // namespace
}  // namespace vantrel::test

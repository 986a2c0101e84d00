#include "app/check_paths.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/app/scripted_window_port.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

class CheckPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reference = (dir / "KVO_sede.mdb").string();
    local = (dir / "locale.mdb").string();
    std::ofstream(reference) << "x";
    std::ofstream(local) << "x";
  }
  TempDir dir;
  std::string reference, local;
  app::FormState form;
  ScriptedWindowPort window;
};

TEST_F(CheckPathsTest, EmptyBoxesFailSilently) {
  EXPECT_FALSE(app::CheckPaths(form, window));
  window.text[0] = reference;
  EXPECT_FALSE(app::CheckPaths(form, window));  // the local box is still empty
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_FALSE(window.update_visible);
  EXPECT_EQ(form.LPathAgg, reference);
}

TEST_F(CheckPathsTest, EachWrongPathHasItsMessageAndFocus) {
  window.text[0] = (dir / "manca.mdb").string();
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.Messages().back(), "DataBase aggiornato inesistente\n" + window.text[0]);
  EXPECT_EQ(window.focus, 0);
  EXPECT_TRUE(window.boxes_enabled);

  window.text[0] = reference;
  window.text[1] = (dir / "manca.mdb").string();
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.Messages().back(), "DataBase locale da aggiornare inesistente\n" + window.text[1]);
  EXPECT_EQ(window.focus, 1);
  EXPECT_EQ(form.LPathLoc, window.text[1]);  // assigned before the failing step

  window.text[1] = (dir / "KVO_SEDE.MDB").string();
  std::ofstream(window.text[1]) << "x";  // on a case-sensitive file system the other spelling must exist
  window.text[0] = (dir / "kvo_sede.mdb").string();
  std::ofstream(window.text[0]) << "x";
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.Messages().back(), "DataBase aggiornato uguale al DataBase locale da aggiornare\n" + window.text[0]);
  EXPECT_EQ(window.focus, 0);
  EXPECT_FALSE(window.update_visible);
  for (const auto& box : window.platform.boxes) {  // OK only, no icon, the program's title
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.title, "");
  }
}

TEST_F(CheckPathsTest, GoodPathsAreTakenTrimmedAndUnquotedAndOfferTheCommands) {
  window.text[0] = "  \"" + reference + "\"  ";
  window.text[1] = "  " + local + " ";
  EXPECT_TRUE(app::CheckPaths(form, window));
  EXPECT_EQ(form.LPathAgg, reference);
  EXPECT_EQ(form.LPathLoc, local);
  EXPECT_TRUE(form.bKVO);
  EXPECT_TRUE(window.update_visible && window.verify_visible);
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_EQ(window.text[0], "  \"" + reference + "\"  ");  // the box keeps what was typed
}

TEST_F(CheckPathsTest, LeavingAcceptsAnythingAndChangesNothing) {
  form.bUscita = true;
  form.LPathAgg = "prima";
  window.text[0] = "nonsense";
  EXPECT_TRUE(app::CheckPaths(form, window));
  EXPECT_EQ(form.LPathAgg, "prima");
  EXPECT_TRUE(window.Messages().empty());
}

}  // namespace
}  // namespace vantrel::test

#include "app/check_paths.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

// The window as CheckPaths sees it: two boxes, the commands' visibility, message boxes.
class ScriptedWindow : public app::WindowPort {
 public:
  std::string text[2];
  bool boxes_enabled = false;
  int focus = -1;
  bool update_visible = false, verify_visible = false;
  std::vector<std::string> messages;

  int MessageBox(const std::string& message, int style, const std::string& title) override {
    EXPECT_EQ(style, 0);
    EXPECT_EQ(title, "");
    messages.push_back(message);
    return 1;
  }
  void SetMousePointer(int) override {}
  void DoEvents() override {}
  std::string PathText(int index) const override { return text[index]; }
  void SetPathText(int index, const std::string& value) override { text[index] = value; }
  void SetPathBoxesEnabled(bool enabled) override { boxes_enabled = enabled; }
  void FocusPathBox(int index) override { focus = index; }
  void SetCommandsVisible(bool update, bool verify) override {
    update_visible = update;
    verify_visible = verify;
  }
};

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
  ScriptedWindow window;
};

TEST_F(CheckPathsTest, EmptyBoxesFailSilently) {
  EXPECT_FALSE(app::CheckPaths(form, window));
  window.text[0] = reference;
  EXPECT_FALSE(app::CheckPaths(form, window));  // the local box is still empty
  EXPECT_TRUE(window.messages.empty());
  EXPECT_FALSE(window.update_visible);
  EXPECT_EQ(form.LPathAgg, reference);
}

TEST_F(CheckPathsTest, EachWrongPathHasItsMessageAndFocus) {
  window.text[0] = (dir / "manca.mdb").string();
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.messages.back(), "DataBase aggiornato inesistente\n" + window.text[0]);
  EXPECT_EQ(window.focus, 0);
  EXPECT_TRUE(window.boxes_enabled);

  window.text[0] = reference;
  window.text[1] = (dir / "manca.mdb").string();
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.messages.back(), "DataBase locale da aggiornare inesistente\n" + window.text[1]);
  EXPECT_EQ(window.focus, 1);
  EXPECT_EQ(form.LPathLoc, window.text[1]);  // assigned before the failing step

  window.text[1] = (dir / "KVO_SEDE.MDB").string();
  std::ofstream(window.text[1]) << "x";  // on a case-sensitive file system the other spelling must exist
  window.text[0] = (dir / "kvo_sede.mdb").string();
  std::ofstream(window.text[0]) << "x";
  EXPECT_FALSE(app::CheckPaths(form, window));
  EXPECT_EQ(window.messages.back(), "DataBase aggiornato uguale al DataBase locale da aggiornare\n" + window.text[0]);
  EXPECT_EQ(window.focus, 0);
  EXPECT_FALSE(window.update_visible);
}

TEST_F(CheckPathsTest, GoodPathsAreTakenTrimmedAndUnquotedAndOfferTheCommands) {
  window.text[0] = "  \"" + reference + "\"  ";
  window.text[1] = "  " + local + " ";
  EXPECT_TRUE(app::CheckPaths(form, window));
  EXPECT_EQ(form.LPathAgg, reference);
  EXPECT_EQ(form.LPathLoc, local);
  EXPECT_TRUE(form.bKVO);
  EXPECT_TRUE(window.update_visible && window.verify_visible);
  EXPECT_TRUE(window.messages.empty());
  EXPECT_EQ(window.text[0], "  \"" + reference + "\"  ");  // the box keeps what was typed
}

TEST_F(CheckPathsTest, LeavingAcceptsAnythingAndChangesNothing) {
  form.bUscita = true;
  form.LPathAgg = "prima";
  window.text[0] = "nonsense";
  EXPECT_TRUE(app::CheckPaths(form, window));
  EXPECT_EQ(form.LPathAgg, "prima");
  EXPECT_TRUE(window.messages.empty());
}

}  // namespace
}  // namespace vantrel::test

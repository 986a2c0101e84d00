#include "app/path_boxes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/app/scripted_window_port.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

class PathBoxesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reference = (dir / "rif.mdb").string();
    local = (dir / "loc.mdb").string();
    std::ofstream(reference) << "x";
    std::ofstream(local) << "x";
  }
  TempDir dir;
  std::string reference, local;
  app::FormState form;
  ScriptedWindowPort window;
};

TEST_F(PathBoxesTest, TheDialogIsPreparedTheSameForBothBoxesAndStartsInTheBoxFolder) {
  window.text[1] = "  C:\\dati\\sede\\loc.mdb ";
  EXPECT_EQ(app::ChooseDatabase(window, 1), "");
  ASSERT_EQ(window.dialogs.size(), 1u);
  const app::FileDialogRequest request = window.dialogs[0];
  EXPECT_EQ(request.title, "DataBase da Aggiornare");
  EXPECT_EQ(request.filter, "File di Access (*.MDB)|*.mdb");
  EXPECT_EQ(request.default_extension, ".mdb");
  EXPECT_EQ(request.file_name, "*.mdb");
  EXPECT_EQ(request.initial_folder, "C:\\dati\\sede\\");
  EXPECT_EQ(window.text[1], "  C:\\dati\\sede\\loc.mdb ");  // choosing does not fill the box

  window.text[0] = "";
  app::ChooseDatabase(window, 0);
  EXPECT_EQ(window.dialogs[1].initial_folder, "");  // the platform's default folder
  EXPECT_EQ(window.dialogs[1].title, request.title);
}

TEST_F(PathBoxesTest, DoubleClickFillsTheBoxAndChecksAndACancelEmptiesIt) {
  window.text[0] = reference;
  window.chosen_files = {local};
  app::Txt_DblClick(form, window, 1);
  EXPECT_EQ(window.text[1], local);
  EXPECT_EQ(form.LPathLoc, local);
  EXPECT_TRUE(window.update_visible && window.verify_visible);

  app::Txt_DblClick(form, window, 1);  // the script runs dry: a cancel
  EXPECT_EQ(window.text[1], "");
  EXPECT_TRUE(window.Messages().empty());  // an empty box is not complained about
}

TEST_F(PathBoxesTest, F4ActsOnlyInAPathBoxWithWhicheverBoxHasTheFocus) {
  window.text[0] = reference;
  window.text[1] = local;
  EXPECT_FALSE(app::Form_KeyDown(form, window, app::kKeyF4, -1));  // a button has the focus
  EXPECT_FALSE(app::Form_KeyDown(form, window, 114, 0));           // F3
  EXPECT_TRUE(window.dialogs.empty());
  EXPECT_EQ(window.text[1], local);

  EXPECT_TRUE(app::Form_KeyDown(form, window, app::kKeyF4, 1));
  ASSERT_EQ(window.dialogs.size(), 1u);
  EXPECT_EQ(window.text[1], "");  // cancelled
  EXPECT_EQ(window.text[0], reference);
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(PathBoxesTest, LeavingABoxChecksOnlyInAnInteractiveRun) {
  window.text[0] = (dir / "manca.mdb").string();
  form.bAuto = true;
  app::Txt_LostFocus(form, window, 0);
  EXPECT_TRUE(window.Messages().empty());
  EXPECT_EQ(form.LPathAgg, "");

  form.bAuto = false;
  app::Txt_LostFocus(form, window, 0);
  ASSERT_EQ(window.Messages().size(), 1u);
  EXPECT_EQ(window.Messages()[0], "DataBase aggiornato inesistente\n" + window.text[0]);
  EXPECT_EQ(window.text[0], (dir / "manca.mdb").string());  // the box keeps what was typed

  form.bUscita = true;  // the exit button is pressed: nothing complains any more
  app::Txt_LostFocus(form, window, 0);
  EXPECT_EQ(window.Messages().size(), 1u);
}

}  // namespace
}  // namespace vantrel::test

#pragma once

#include <memory>

#include <QListWidget>
#include <QWidget>

#include "app/form_state.h"
#include "app/window_layout.h"
#include "app/window_port.h"
#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The program's one window: two path boxes, the run log and the three commands. The passes
// reach it only through schema::PassWindow, the path procedures through app::WindowPort.
// Everything is laid out in twips and converted at the screen's logical resolution, so the
// window keeps its proportions at any display scaling.
namespace jet {
class RowCopyProgressScope;
}

class RondivalWindow : public QWidget, public schema::PassWindow, public app::WindowPort {
 public:
  RondivalWindow(schema::DBEngine& engine, const QString& arguments);

  // schema::PassWindow
  void RunLogSetBackColor(uint32_t bgr) override;
  void RunLogClear() override;
  void RunLogAddItem(const std::string& line) override;
  int MessageBox(const std::string& text, int style, const std::string& title) override;
  void BusyCursorOn() override;
  void BusyCursorOff() override;
  void DoEvents() override;

  // app::WindowPort
  void SetMousePointer(int pointer) override;
  std::string PathText(int index) const override;
  void SetPathText(int index, const std::string& text) override;
  void SetPathBoxesEnabled(bool enabled) override;
  void FocusPathBox(int index) override;
  void SetCommandsVisible(bool update, bool verify) override;
  std::string ChooseFile(const app::FileDialogRequest& request) override;

  QLineEdit* referencePath() const { return txt_[0]; }
  QLineEdit* localPath() const { return txt_[1]; }
  QPushButton* verifyButton() const { return verifica_; }
  QPushButton* updateButton() const { return esegui_; }
  QPushButton* exitButton() const { return fine_; }
  QListWidget* runLog() const { return list_; }
  // Label1, Label2, Label3.
  QLabel* label(int index) const { return labels_[index]; }
  const app::FormState& formState() const { return state_; }
  const schema::PassState& passState() const { return state_; }
  // The resolution twips are converted at.
  float logicalDpi() const { return dpi_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load(const QString& arguments);
  void Form_Activate();
  void Form_Resize();
  void CmdFine_Click();
  void cmdVerifica_Click();
  void ShowDataLossPreview(schema::Database& reference, schema::Database& local);
  std::unique_ptr<jet::RowCopyProgressScope> KeepResponsiveWhileRowsAreCopied();
  void CmdEsegui_Click();
  void SetCommandsEnabled(bool enabled);
  QRect Twips(const app::layout::TwipsRect& where) const;
  int PathBoxIndex(const QObject* object) const;

  schema::DBEngine& engine_;
  app::FormState state_;
  float dpi_ = 96;
  bool busy_ = false;
  bool activated_ = false;
  bool focusing_ = false;  // the focus is being moved by a path check, not by the user
  QLineEdit* txt_[2] = {};
  QLabel* labels_[3] = {};
  QPushButton* esegui_ = nullptr;
  QPushButton* fine_ = nullptr;
  QPushButton* verifica_ = nullptr;
  QListWidget* list_ = nullptr;
};

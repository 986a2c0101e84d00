#pragma once

#include <QListWidget>
#include <QWidget>

#include "app/form_state.h"
#include "app/window_port.h"
#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The program's one window: two path boxes, the run log and the three commands. The passes
// reach it only through schema::PassWindow.
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

  QLineEdit* referencePath() const { return txt_[0]; }
  QLineEdit* localPath() const { return txt_[1]; }
  QPushButton* verifyButton() const { return verifica_; }
  QPushButton* updateButton() const { return esegui_; }
  QPushButton* exitButton() const { return fine_; }
  QListWidget* runLog() const { return list_; }
  const schema::PassState& passState() const { return state_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void cmdVerifica_Click();
  void CmdEsegui_Click();
  void Form_Activate();
  void SetCommandsEnabled(bool enabled);

  schema::DBEngine& engine_;
  app::FormState state_;
  bool busy_ = false;
  bool stayOpen_ = false;
  bool activated_ = false;
  QLineEdit* txt_[2] = {};
  QPushButton* esegui_ = nullptr;
  QPushButton* fine_ = nullptr;
  QPushButton* verifica_ = nullptr;
  QListWidget* list_ = nullptr;
};

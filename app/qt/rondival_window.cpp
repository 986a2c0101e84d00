#include "app/qt/rondival_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/check_paths.h"
#include "schema/comparison_rules.h"
#include "schema/verify_pass.h"
#include "update/update_pass.h"

namespace {

// Positions are kept in twips as the layout was drawn; 15 twips make a pixel at 96 dpi and
// Qt scales pixels for higher densities itself.
QRect Twips(int left, int top, int width, int height) { return QRect(left / 15, top / 15, width / 15, height / 15); }

QString Colour(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF))
      .name();
}

QPushButton* Button(QWidget* parent, const char* caption, uint32_t bgr, QRect where) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setGeometry(where);
  button->setStyleSheet("background-color: " + Colour(bgr) + ";");
  return button;
}

QLabel* Label(QWidget* parent, const char* caption, QRect where) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setGeometry(where);
  return label;
}

}  // namespace

RondivalWindow::RondivalWindow(schema::DBEngine& engine, const QString& arguments) : engine_(engine) {
  setWindowTitle("Vantrel");
  resize(7560 / 15, 8700 / 15);
  Label(this, "Database aggiornato ", Twips(225, 180, 2430, 255));
  Label(this, "Database da aggiornare", Twips(225, 810, 2700, 255));
  Label(this, "Aggiornamenti eseguiti", Twips(225, 1425, 2445, 255));
  for (int i = 0; i < 2; ++i) {
    txt_[i] = new QLineEdit(this);
    txt_[i]->setGeometry(Twips(45, i == 0 ? 465 : 1065, 7425, 330));
    txt_[i]->setStyleSheet("background-color: " + Colour(0xC0FFFF) + ";");
    txt_[i]->setFont(QFont("Arial", 9));
  }
  esegui_ = Button(this, "&ESEGUI", 0xC8D8C8, Twips(4410, 40, 1530, 375));
  fine_ = Button(this, "&USCITA", 0xC6BAEF, Twips(5925, 40, 1530, 375));
  verifica_ = Button(this, "&VERIFICA", 0xC0E0FF, Twips(2890, 45, 1530, 375));
  list_ = new QListWidget(this);
  list_->setGeometry(Twips(45, 1725, 7395, 6495));
  setTabOrder(txt_[0], txt_[1]);
  setTabOrder(txt_[1], esegui_);
  setTabOrder(esegui_, fine_);
  setTabOrder(fine_, list_);
  setTabOrder(list_, verifica_);

  // "reference|local[|S]": the paths fill the boxes; with both given the run is unattended,
  // and a third field "S" keeps the window open after it.
  const QStringList parts = arguments.split('|');
  if (parts.size() >= 1) txt_[0]->setText(parts[0]);
  if (parts.size() >= 2) txt_[1]->setText(parts[1]);
  state_.bAuto = parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty();
  stayOpen_ = parts.size() >= 3 && parts[2].toUpper() == "S";
  verifica_->setVisible(false);
  esegui_->setVisible(false);
  connect(verifica_, &QPushButton::clicked, this, [this] { cmdVerifica_Click(); });
  connect(esegui_, &QPushButton::clicked, this, [this] { CmdEsegui_Click(); });
  connect(fine_, &QPushButton::clicked, this, [this] {
    state_.bUscita = true;
    close();
  });
}

void RondivalWindow::SetCommandsEnabled(bool enabled) {
  esegui_->setEnabled(enabled);
  fine_->setEnabled(enabled);
  verifica_->setEnabled(enabled);
}

void RondivalWindow::cmdVerifica_Click() {
  if (busy_) return;
  busy_ = true;
  // A second command, or the exit, must not start from within the pass's yields.
  SetCommandsEnabled(false);
  if (!app::CheckPaths(state_, *this)) {
    SetCommandsEnabled(true);
    busy_ = false;
    return;
  }
  schema::VerifyUpdate(state_, *this, engine_);
  SetCommandsEnabled(true);
  busy_ = false;
}

void RondivalWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (activated_) return;
  activated_ = true;
  // Activation runs once the window is on screen, so the run log fills visibly.
  QMetaObject::invokeMethod(this, [this] { Form_Activate(); }, Qt::QueuedConnection);
}

void RondivalWindow::Form_Activate() {
  if (!state_.bAuto) {
    esegui_->setVisible(true);
    app::CheckPaths(state_, *this);
    return;
  }
  CmdEsegui_Click();
  if (state_.nErrore == 0) fine_->setStyleSheet("background-color: " + Colour(0xC8D8C8) + ";");
  if (stayOpen_) {
    fine_->setFocus();
    return;
  }
  close();
}

void RondivalWindow::CmdEsegui_Click() {
  if (busy_) return;
  state_.nErrore = 1;
  if (!app::CheckPaths(state_, *this)) return;
  int answer = 6;
  if (!state_.bAuto) answer = MessageBox("Vuoi aggiornare il DataBase locale\n\n" + txt_[1]->text().toStdString(), 36, "");
  const std::string name = QFileInfo(QString::fromStdString(state_.LPathAgg)).fileName().toStdString();
  state_.bKVO = schema::HasKvoPrefix(name);
  if (answer != 6) return;
  busy_ = true;
  // A second command, or the exit, must not start from within the pass's yields.
  SetCommandsEnabled(false);
  RunLogAddItem(" ");
  update::RunUpdate(state_, *this, engine_);
  SetCommandsEnabled(true);
  busy_ = false;
  if (state_.nErrore != 0) return;
  txt_[0]->setEnabled(false);
  txt_[1]->setEnabled(false);
  esegui_->setVisible(false);
  verifica_->setVisible(false);
  if (state_.bAuto) return;  // the compaction is not part of this version yet
  const std::string text =
      "Aggiornamento eseguito.\nATTENZIONE: è consigliato eseguire un compattamento del DataBase\n\n"
      "ESEGUO IL COMPATTAMENTO DEL DATABASE";
  if (MessageBox(text, 292, "Compattamento DataBase") != 6) return;
  MessageBox("Il compattamento non è ancora disponibile in questa versione.", 48, "Compattamento DataBase");
}

void RondivalWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  event->accept();
}

void RondivalWindow::RunLogSetBackColor(uint32_t bgr) { list_->setStyleSheet("background-color: " + Colour(bgr) + ";"); }
void RondivalWindow::RunLogClear() { list_->clear(); }
void RondivalWindow::RunLogAddItem(const std::string& line) {
  list_->addItem(QString::fromStdString(line));
  list_->repaint();
}

int RondivalWindow::MessageBox(const std::string& text, int style, const std::string& title) {
  QMessageBox box(this);
  box.setWindowTitle(title.empty() ? "Vantrel" : QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  switch (style & 0xF0) {
    case 16: box.setIcon(QMessageBox::Critical); break;
    case 32: box.setIcon(QMessageBox::Question); break;
    case 48: box.setIcon(QMessageBox::Warning); break;
    case 64: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  if ((style & 0x0F) == 4) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton((style & 0x100) ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? 6 : 7;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return 1;
}

void RondivalWindow::BusyCursorOn() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void RondivalWindow::BusyCursorOff() { QApplication::restoreOverrideCursor(); }
void RondivalWindow::DoEvents() { QApplication::processEvents(); }

void RondivalWindow::SetMousePointer(int pointer) {
  QApplication::restoreOverrideCursor();
  if (pointer == util::kPointerHourglass) QApplication::setOverrideCursor(Qt::WaitCursor);
}
std::string RondivalWindow::PathText(int index) const { return txt_[index & 1]->text().toStdString(); }
void RondivalWindow::SetPathText(int index, const std::string& text) { txt_[index & 1]->setText(QString::fromStdString(text)); }
void RondivalWindow::SetPathBoxesEnabled(bool enabled) {
  txt_[0]->setEnabled(enabled);
  txt_[1]->setEnabled(enabled);
}
void RondivalWindow::FocusPathBox(int index) { txt_[index & 1]->setFocus(); }
void RondivalWindow::SetCommandsVisible(bool update, bool verify) {
  esegui_->setVisible(update);
  verifica_->setVisible(verify);
}

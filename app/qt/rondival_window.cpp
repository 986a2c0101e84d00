#include "app/qt/rondival_window.h"

#include <chrono>
#include <memory>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>

#include "app/check_paths.h"
#include "jet/write/row_copy_progress.h"
#include "app/data_loss_summary.h"
#include "update/compact_local_database.h"
#include "app/dialog_filter.h"
#include "app/form_load.h"
#include "app/command_line.h"
#include "app/message_box_style.h"
#include "app/path_boxes.h"
#include "app/prefix_rule.h"
#include "app/window_geometry.h"
#include "schema/verify_pass.h"
#include "update/update_pass.h"

namespace {

namespace layout = app::layout;

QString Colour(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF))
      .name();
}

QString BackColour(uint32_t bgr) { return "background-color: " + Colour(bgr) + ";"; }

QFont FontOf(const char* family, double points) {
  QFont font{QString::fromUtf8(family)};
  font.setPointSizeF(points);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif);  // where the family is missing, a sans serif like it
  return font;
}

// A stack of three pale green disks: a database, in the window's own colours.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x40, 0x60, 0x40), 1.5));
  painter.setBrush(QColor(0xC8, 0xD8, 0xC8));
  for (int top : {20, 12, 4}) {
    painter.drawRect(QRectF(5, top + 4, 22, 6));
    painter.drawEllipse(QRectF(5, top, 22, 8));
  }
  return QIcon(pixmap);
}

QMessageBox::StandardButton ButtonFor(int answer) {
  switch (answer) {
    case 2: return QMessageBox::Cancel;
    case 3: return QMessageBox::Abort;
    case 4: return QMessageBox::Retry;
    case 5: return QMessageBox::Ignore;
    case 6: return QMessageBox::Yes;
    case 7: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconFor(app::MessageIcon icon) {
  switch (icon) {
    case app::MessageIcon::kCritical: return QMessageBox::Critical;
    case app::MessageIcon::kQuestion: return QMessageBox::Question;
    case app::MessageIcon::kExclamation: return QMessageBox::Warning;
    case app::MessageIcon::kInformation: return QMessageBox::Information;
    case app::MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

// The platform's key codes for the function keys; the key step looks at nothing else.
int KeyCodeOf(int qt_key) {
  if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F12) return 112 + (qt_key - Qt::Key_F1);
  return 0;
}

}  // namespace

RondivalWindow::RondivalWindow(schema::DBEngine& engine, const QString& arguments) : engine_(engine) {
  // Fonts in points and positions in twips both follow the logical resolution, so text and
  // boxes keep their proportions at 100 % and 200 % alike.
  if (logicalDpiX() > 0) dpi_ = static_cast<float>(logicalDpiX());
  setWindowTitle(QString::fromUtf8(layout::kCaption));
  setWindowIcon(ProgramIcon());
  resize(app::TwipsToPixels(layout::kClientWidth, dpi_), app::TwipsToPixels(layout::kClientHeight, dpi_));

  // Created in tab order; labels take no focus.
  for (int i = 0; i < 2; ++i) {
    txt_[i] = new QLineEdit(this);
    txt_[i]->setGeometry(Twips(layout::kTxt[i]));
    txt_[i]->setStyleSheet(BackColour(layout::kPathBoxBack));
    txt_[i]->setFont(FontOf(layout::kPathBoxFont, layout::kPathBoxPoints));
  }
  auto button = [this](const char* caption, uint32_t bgr, const layout::TwipsRect& where) {
    auto* created = new QPushButton(QString::fromUtf8(caption), this);
    created->setGeometry(Twips(where));
    created->setStyleSheet(BackColour(bgr));  // a style sheet is what lets a button show a colour
    created->setAutoDefault(false);
    return created;
  };
  esegui_ = button(layout::kEseguiCaption, layout::kEseguiBack, layout::kCmdEsegui);
  fine_ = button(layout::kFineCaption, layout::kFineBack, layout::kCmdFine);
  const QFont label_font = FontOf(layout::kLabelFont, layout::kLabelPoints);
  const std::pair<const char*, layout::TwipsRect> labels[3] = {
      {layout::kLabel1Caption, layout::kLabel1}, {layout::kLabel2Caption, layout::kLabel2},
      {layout::kLabel3Caption, layout::kLabel3}};
  for (int i = 0; i < 3; ++i) {
    labels_[i] = new QLabel(QString::fromUtf8(labels[i].first), this);
    labels_[i]->setGeometry(Twips(labels[i].second));
    labels_[i]->setFont(label_font);
  }
  list_ = new QListWidget(this);
  list_->setGeometry(Twips(layout::kList1));
  verifica_ = button(layout::kVerificaCaption, layout::kVerificaBack, layout::kCmdVerifica);
  setTabOrder(txt_[0], txt_[1]);
  setTabOrder(txt_[1], esegui_);
  setTabOrder(esegui_, fine_);
  setTabOrder(fine_, list_);
  setTabOrder(list_, verifica_);
  esegui_->setVisible(false);

  connect(verifica_, &QPushButton::clicked, this, [this] { cmdVerifica_Click(); });
  connect(esegui_, &QPushButton::clicked, this, [this] { CmdEsegui_Click(); });
  connect(fine_, &QPushButton::clicked, this, [this] { CmdFine_Click(); });
  Form_Load(arguments);
}

QRect RondivalWindow::Twips(const layout::TwipsRect& where) const {
  return QRect(app::TwipsToPixels(where.left, dpi_), app::TwipsToPixels(where.top, dpi_),
               app::TwipsToPixels(where.width, dpi_), app::TwipsToPixels(where.height, dpi_));
}

void RondivalWindow::Form_Load(const QString& arguments) {
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    const app::TwipsPoint at = app::PlaceAtOneThird(
        app::PixelsToTwips(area.width(), dpi_), app::PixelsToTwips(area.height(), dpi_),
        app::PixelsToTwips(outer.width(), dpi_), app::PixelsToTwips(outer.height(), dpi_));
    move(area.topLeft() + QPoint(app::TwipsToPixels(at.left, dpi_), app::TwipsToPixels(at.top, dpi_)));
  }
  list_->clear();
  // Key preview: the key step sees a key before the control that has the focus.
  for (QWidget* child : {static_cast<QWidget*>(txt_[0]), static_cast<QWidget*>(txt_[1]),
                         static_cast<QWidget*>(esegui_), static_cast<QWidget*>(fine_),
                         static_cast<QWidget*>(list_), static_cast<QWidget*>(verifica_)})
    child->installEventFilter(this);
  app::Form_Load(state_, *this, arguments.toStdString());
}

int RondivalWindow::PathBoxIndex(const QObject* object) const {
  for (int i = 0; i < 2; ++i)
    if (object == txt_[i]) return i;
  return -1;
}

bool RondivalWindow::eventFilter(QObject* watched, QEvent* event) {
  const int box = PathBoxIndex(watched);
  switch (event->type()) {
    case QEvent::KeyPress: {
      // While a pass runs the paths it works on must not change under it.
      if (busy_) break;
      const int code = KeyCodeOf(static_cast<QKeyEvent*>(event)->key());
      if (code != 0 && app::Form_KeyDown(state_, *this, code, PathBoxIndex(QApplication::focusWidget()))) return true;
      break;
    }
    case QEvent::MouseButtonDblClick:
      if (box >= 0 && !busy_) {
        app::Txt_DblClick(state_, *this, box);
        return true;
      }
      break;
    case QEvent::MouseButtonPress:
      // CmdFine_MouseDown: any button. Pressing takes the focus before the press is handed
      // on, so the path check of the box being left is queued (below) and sees this flag.
      // Filters see presses on a disabled button too, which the button itself never gets.
      if (watched == fine_ && fine_->isEnabled()) state_.bUscita = true;
      break;
    case QEvent::FocusOut: {
      if (box < 0 || focusing_ || busy_) break;
      // Another window taking the focus (a message box, the file dialog) is not the user
      // leaving the box.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason)
        break;
      // Queued, it may come due once a command has started its pass: the paths stay put then.
      QMetaObject::invokeMethod(
          this, [this, box] { if (!busy_) app::Txt_LostFocus(state_, *this, box); }, Qt::QueuedConnection);
      break;
    }
    default: break;
  }
  return QWidget::eventFilter(watched, event);
}

void RondivalWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void RondivalWindow::Form_Resize() {
  app::WindowShowState state = app::WindowShowState::kNormal;
  if (windowState() & Qt::WindowMinimized) state = app::WindowShowState::kMinimized;
  else if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) state = app::WindowShowState::kMaximized;
  const QSize outer = frameGeometry().size();
  const QSize frame = outer - size();  // border and caption; nothing before the first show
  const app::ResizeStep step = app::Form_Resize(
      app::PixelsToTwips(outer.width(), dpi_), app::PixelsToTwips(outer.height(), dpi_),
      app::PixelsToTwips(width(), dpi_), app::PixelsToTwips(height(), dpi_), state);
  switch (step.action) {
    case app::ResizeStep::Action::kNothing: break;
    case app::ResizeStep::Action::kSetOuterWidth:
      resize(app::TwipsToPixelsAtLeast(step.outer_size, dpi_) - frame.width(), height());
      break;
    case app::ResizeStep::Action::kSetOuterHeight:
      resize(width(), app::TwipsToPixelsAtLeast(step.outer_size, dpi_) - frame.height());
      break;
    case app::ResizeStep::Action::kFitControls: {
      const int box_width = app::TwipsToPixels(step.path_box_width, dpi_);
      for (QLineEdit* box : txt_) box->resize(box_width, box->height());
      list_->resize(list_->width(), app::TwipsToPixels(step.list_height, dpi_));
      break;
    }
  }
}

void RondivalWindow::CmdFine_Click() {
  state_.bUscita = true;
  close();
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
  list_->setToolTip("");
  // The preview reads the databases the pass has open: reading both files again cost as much
  // as the comparison on a large schema.
  schema::VerifyUpdate(state_, *this, engine_,
                       [this](schema::Database& reference, schema::Database& local) { ShowDataLossPreview(reference, local); });
  SetCommandsEnabled(true);
  busy_ = false;
}

void RondivalWindow::ShowDataLossPreview(schema::Database& reference, schema::Database& local) {
  // Extra information beside the run log, never in it: a preview that cannot be made simply
  // shows nothing, and neither does a comparison that did not complete.
  try {
    list_->setToolTip(QString::fromStdString(app::DataLossSummary(schema::PreviewDataLoss(reference, local))));
  } catch (const std::exception&) {
    list_->setToolTip("");
  }
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
  if (state_.nErrore == 0) fine_->setStyleSheet(BackColour(layout::kEseguiBack));
  if (app::StaysOpen(state_.vArgs)) {
    fine_->setFocus();
    return;
  }
  CmdFine_Click();
}

void RondivalWindow::CmdEsegui_Click() {
  if (busy_) return;
  state_.nErrore = 1;
  if (!app::CheckPaths(state_, *this)) return;
  int answer = 6;
  if (!state_.bAuto) answer = MessageBox("Vuoi aggiornare il DataBase locale\n\n" + txt_[1]->text().toStdString(), 36, "");
  state_.bKVO = app::ReferenceHasKvoPrefix(state_.LPathAgg);
  if (answer != 6) return;
  busy_ = true;
  // A second command, or the exit, must not start from within the pass's yields.
  SetCommandsEnabled(false);
  RunLogAddItem(" ");
  {
    const auto responsive = KeepResponsiveWhileRowsAreCopied();
    update::RunUpdate(state_, *this, engine_);
  }
  SetCommandsEnabled(true);
  busy_ = false;
  if (state_.nErrore != 0) return;
  txt_[0]->setEnabled(false);
  txt_[1]->setEnabled(false);
  esegui_->setVisible(false);
  verifica_->setVisible(false);
  if (!state_.bAuto) {
    const std::string text =
        "Aggiornamento eseguito.\nATTENZIONE: è consigliato eseguire un compattamento del DataBase\n\n"
        "ESEGUO IL COMPATTAMENTO DEL DATABASE";
    if (MessageBox(text, 292, "Compattamento DataBase") != 6) return;
  }
  busy_ = true;
  SetCommandsEnabled(false);
  {
    const auto responsive = KeepResponsiveWhileRowsAreCopied();
    update::CompactLocalDatabase(txt_[1]->text().toStdString(), state_, *this, engine_);
  }
  SetCommandsEnabled(true);
  busy_ = false;
}

void RondivalWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  event->accept();
}

void RondivalWindow::RunLogSetBackColor(uint32_t bgr) { list_->setStyleSheet(BackColour(bgr)); }
void RondivalWindow::RunLogClear() { list_->clear(); }
void RondivalWindow::RunLogAddItem(const std::string& line) {
  list_->addItem(QString::fromStdString(line));
  list_->repaint();
}

int RondivalWindow::MessageBox(const std::string& text, int style, const std::string& title) {
  const app::MessageBoxLayout layout = app::DecodeMessageBoxStyle(style);
  QMessageBox box(this);
  box.setWindowTitle(QString::fromStdString(app::MessageBoxTitle(title)));
  box.setText(QString::fromStdString(text));
  box.setIcon(IconFor(layout.icon));
  QMessageBox::StandardButtons buttons;
  for (int answer : layout.answers) buttons |= ButtonFor(answer);
  box.setStandardButtons(buttons);
  box.setDefaultButton(ButtonFor(layout.default_answer));
  box.setEscapeButton(ButtonFor(layout.escape_answer));
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (int answer : layout.answers)
    if (clicked != nullptr && clicked == box.button(ButtonFor(answer))) return answer;
  return layout.escape_answer;
}

std::string RondivalWindow::ChooseFile(const app::FileDialogRequest& request) {
  QFileDialog dialog(this, QString::fromStdString(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // a typed name need not exist: the path check tells
  // Without a desktop there is no native dialog to show; tests drive the toolkit's own.
  if (QGuiApplication::platformName() == "offscreen") dialog.setOption(QFileDialog::DontUseNativeDialog);
  QStringList filters;
  for (const app::NameFilter& filter : app::SplitDialogFilter(request.filter)) {
    QStringList patterns;
    for (const std::string& pattern : filter.patterns) patterns << QString::fromStdString(pattern);
    filters << QString::fromStdString(filter.description) + " (" + patterns.join(' ') + ")";
  }
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  QString extension = QString::fromStdString(request.default_extension);
  if (extension.startsWith('.')) extension.remove(0, 1);
  dialog.setDefaultSuffix(extension);
  // A box holding no folder (or one in quotes, or of another system) starts where the
  // platform would.
  const QString folder = QString::fromStdString(request.initial_folder);
  if (!folder.isEmpty() && QDir(folder).exists()) dialog.setDirectory(folder);
  if (!request.file_name.empty()) dialog.selectFile(QString::fromStdString(request.file_name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

void RondivalWindow::BusyCursorOn() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void RondivalWindow::BusyCursorOff() { QApplication::restoreOverrideCursor(); }
void RondivalWindow::DoEvents() { QApplication::processEvents(); }

std::unique_ptr<jet::RowCopyProgressScope> RondivalWindow::KeepResponsiveWhileRowsAreCopied() {
  // A rebuild or a compaction of a large table copies rows for a long time inside one engine
  // call; the window repaints (and shows its busy pointer) every few tenths of a second
  // meanwhile. The commands are disabled while it runs, so no second one can start.
  return std::make_unique<jet::RowCopyProgressScope>(
      [this, last = std::chrono::steady_clock::now()](const std::string&, uint64_t, uint64_t) mutable {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(200)) return;
        last = now;
        DoEvents();
      });
}

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
void RondivalWindow::FocusPathBox(int index) {
  // Sending the user back to the faulty box is not the user leaving the other one.
  focusing_ = true;
  txt_[index & 1]->setFocus(Qt::OtherFocusReason);
  focusing_ = false;
}
void RondivalWindow::SetCommandsVisible(bool update, bool verify) {
  esegui_->setVisible(update);
  verifica_->setVisible(verify);
}

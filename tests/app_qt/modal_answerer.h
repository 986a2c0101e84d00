#pragma once

#include <QApplication>

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

// Answers the window's modal boxes and dialogs while a test waits on them: each one met is
// recorded, then handed to the next scripted action; with none left, it is closed as a
// cancel would close it, so a test never hangs on a box it did not expect.
class ModalAnswerer : public QObject {
 public:
  struct Seen {
    QString title;
    QString text;              // a message box's text
    QStringList name_filters;  // a file dialog's
    QString default_suffix;
    QString directory;
    QStringList selected;      // what the name field held when it opened
    bool file_dialog = false;
  };
  std::vector<Seen> seen;
  std::deque<std::function<void(QWidget*)>> actions;

  ModalAnswerer() {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(10);
  }

  // Scripted actions.
  static std::function<void(QWidget*)> Press(QMessageBox::StandardButton button) {
    return [button](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->button(button)) box->button(button)->click();
    };
  }
  static std::function<void(QWidget*)> Choose(const QString& path) {
    return [path](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        // A busy machine may still be loading the folder when the dialog shows, and then the
        // selection does not take at once: accept only once the dialog names the file.
        // Types the name as a user would, again until it holds, and gives up after two seconds
        // (the test then fails on the path rather than hanging).
        auto* attempt = new QTimer(dialog);  // owned by the dialog, gone with it
        auto tries = std::make_shared<int>(0);
        const auto select = [dialog, path] {
          dialog->selectFile(path);
          if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(QFileInfo(path).fileName());
        };
        QObject::connect(attempt, &QTimer::timeout, dialog, [dialog, path, attempt, tries, select] {
          if (QFileInfo(dialog->selectedFiles().value(0)) != QFileInfo(path) && ++*tries < 200) {
            select();
            return;
          }
          attempt->stop();
          static_cast<QDialog*>(dialog)->accept();  // public on QDialog, the file dialog's own runs
        });
        select();
        attempt->start(10);
      }
    };
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == handled_) return;
    handled_ = modal;
    Seen entry;
    entry.title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) entry.text = box->text();
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      entry.file_dialog = true;
      entry.name_filters = dialog->nameFilters();
      entry.default_suffix = dialog->defaultSuffix();
      entry.directory = dialog->directory().absolutePath();
      entry.selected = dialog->selectedFiles();
    }
    seen.push_back(entry);
    if (actions.empty()) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    auto action = actions.front();
    actions.pop_front();
    action(modal);
  }

  QTimer timer_;
  QPointer<QWidget> handled_;
};

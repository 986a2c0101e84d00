#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt/rondival_window.h"
#include "app/window_geometry.h"
#include "app/window_layout.h"
#include "tests/app_qt/modal_answerer.h"
#include "jet/check/database_check.h"
#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "schema/jet_engine.h"

class WindowTest : public QObject {
  Q_OBJECT

 private:
  static int Px(const RondivalWindow& window, float twips) { return app::TwipsToPixels(twips, window.logicalDpi()); }
  static float Tw(const RondivalWindow& window, int pixels) { return app::PixelsToTwips(pixels, window.logicalDpi()); }
  static QRect Twips(const RondivalWindow& window, app::layout::TwipsRect where) {
    return QRect(Px(window, where.left), Px(window, where.top), Px(window, where.width), Px(window, where.height));
  }
  // Labels sit in the focus chain too, but never take the focus.
  static QWidget* NextTabStop(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (next != from && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    return next;
  }
  // One table whose text field Nome is `size` long, with `names` as its rows.
  static void MakeDatabase(const QString& path, int size, const std::vector<std::string>& names) {
    jet::CreateDatabase(path.toStdString());
    auto writer = jet::DatabaseWriter::Open(path.toStdString());
    writer->CreateTable({"Voci", {{"Nome", 10, size}}, {{}}, {}});
    size_t next = 0;
    writer->InsertRows("Voci", [&](jet::Row& row) {
      if (next == names.size()) return false;
      row = {jet::Value{names[next++]}};
      return true;
    });
    writer->Commit();
  }

  // VERIFICA on ref.mdb and loc.mdb of `dir`, clicked as a user would.
  static void RunVerify(RondivalWindow& window, const QTemporaryDir& dir) {
    window.referencePath()->setText(dir.filePath("ref.mdb"));
    window.localPath()->setText(dir.filePath("loc.mdb"));
    window.show();
    QTRY_VERIFY(window.verifyButton()->isVisible());
    QTest::mouseClick(window.verifyButton(), Qt::LeftButton);
  }

  // The resize rule's fit: boxes client width - 80, run log bottom 60 above the client's.
  static void CheckFitted(const RondivalWindow& window) {
    const float client_width = Tw(window, window.width());
    const float client_height = Tw(window, window.height());
    QCOMPARE(window.referencePath()->width(), Px(window, client_width - 80));
    QCOMPARE(window.localPath()->width(), Px(window, client_width - 80));
    QCOMPARE(window.runLog()->height(), Px(window, client_height - 1725 - 60));
  }

 private slots:
  void controlsCarryTheirCaptionsPlacesAndTabOrder() {
    // Not shown: two paths make the run unattended as soon as the window is on screen.
    RondivalWindow window(schema::TheEngine(), "C:\\a.mdb|C:\\b.mdb|S");
    QCOMPARE(window.windowTitle(), QString("Aggiornamento database"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.size(), QSize(Px(window, 7545), Px(window, 8280)));
    QCOMPARE(window.referencePath()->text(), QString("C:\\a.mdb"));
    QCOMPARE(window.localPath()->text(), QString("C:\\b.mdb"));
    QCOMPARE(window.updateButton()->text(), QString("&ESEGUI"));
    QCOMPARE(window.exitButton()->text(), QString("&USCITA"));
    QCOMPARE(window.verifyButton()->text(), QString("&VERIFICA"));
    QCOMPARE(window.label(0)->text(), QString("Database aggiornato "));
    QCOMPARE(window.label(1)->text(), QString("Database da aggiornare"));
    QCOMPARE(window.label(2)->text(), QString("Aggiornamenti eseguiti"));

    QCOMPARE(window.referencePath()->geometry(), Twips(window, {45, 465, 7425, 330}));
    QCOMPARE(window.localPath()->geometry(), Twips(window, {45, 1065, 7425, 330}));
    QCOMPARE(window.updateButton()->geometry(), Twips(window, {4410, 40, 1530, 375}));
    QCOMPARE(window.exitButton()->geometry(), Twips(window, {5925, 40, 1530, 375}));
    QCOMPARE(window.verifyButton()->geometry(), Twips(window, {2890, 45, 1530, 375}));
    QCOMPARE(window.label(0)->geometry(), Twips(window, {225, 180, 2430, 255}));
    QCOMPARE(window.label(1)->geometry(), Twips(window, {225, 810, 2700, 255}));
    QCOMPARE(window.label(2)->geometry(), Twips(window, {225, 1425, 2445, 255}));
    QCOMPARE(window.runLog()->geometry(), Twips(window, {45, 1725, 7395, 6495}));

    QCOMPARE(window.referencePath()->font().family(), QString("Arial"));
    QCOMPARE(window.referencePath()->font().pointSizeF(), 9.0);
    QCOMPARE(window.label(2)->font().pointSizeF(), 9.75);
    QVERIFY(window.referencePath()->styleSheet().contains("#ffffc0"));
    QVERIFY(window.updateButton()->styleSheet().contains("#c8d8c8"));
    QVERIFY(window.exitButton()->styleSheet().contains("#efbac6"));
    QVERIFY(window.verifyButton()->styleSheet().contains("#ffe0c0"));

    // Before activation only the exit button of the three is offered.
    QVERIFY(window.updateButton()->isHidden());
    QVERIFY(window.verifyButton()->isHidden());
    QVERIFY(!window.exitButton()->isHidden());

    const QList<QWidget*> tab_order = {window.referencePath(), window.localPath(), window.updateButton(),
                                       window.exitButton(), window.runLog(), window.verifyButton()};
    for (int i = 0; i + 1 < tab_order.size(); ++i) QCOMPARE(NextTabStop(tab_order[i]), tab_order[i + 1]);
    for (int i = 0; i < 3; ++i) QCOMPARE(window.label(i)->focusPolicy(), Qt::NoFocus);
    QCOMPARE(QKeySequence::mnemonic(window.updateButton()->text()), QKeySequence(Qt::ALT | Qt::Key_E));
    QCOMPARE(QKeySequence::mnemonic(window.exitButton()->text()), QKeySequence(Qt::ALT | Qt::Key_U));
    QCOMPARE(QKeySequence::mnemonic(window.verifyButton()->text()), QKeySequence(Qt::ALT | Qt::Key_V));
  }

  void interactiveStartAtOneThirdOffersTheUpdateButtonOnly() {
    ModalAnswerer answerer;
    RondivalWindow window(schema::TheEngine(), "");
    const QRect screen = window.screen()->geometry();
    const app::TwipsPoint at = app::PlaceAtOneThird(Tw(window, screen.width()), Tw(window, screen.height()),
                                                    Tw(window, window.frameGeometry().width()),
                                                    Tw(window, window.frameGeometry().height()));
    QCOMPARE(window.pos(), screen.topLeft() + QPoint(Px(window, at.left), Px(window, at.top)));
    window.show();
    QTRY_VERIFY(window.updateButton()->isVisible());
    QVERIFY(!window.verifyButton()->isVisible());
    QVERIFY(window.exitButton()->isVisible());
    QCOMPARE(window.runLog()->count(), 0);
    QTest::qWait(50);
    QVERIFY(answerer.seen.empty());  // empty boxes are not complained about
  }

  void resizingKeepsTheLimitsAndStretchesBoxesAndRunLog() {
    RondivalWindow window(schema::TheEngine(), "");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize frame = window.frameGeometry().size() - window.size();
    const int min_width = app::TwipsToPixelsAtLeast(7785, window.logicalDpi()) - frame.width();
    const int min_height = app::TwipsToPixelsAtLeast(5800, window.logicalDpi()) - frame.height();
    QTRY_VERIFY(window.width() >= min_width);

    window.resize(Px(window, 3000), Px(window, 3000));  // narrower and lower than allowed
    QTRY_COMPARE(window.width(), min_width);
    QTRY_COMPARE(window.height(), min_height);
    CheckFitted(window);

    window.resize(Px(window, 20000), Px(window, 12000));
    QTRY_COMPARE(window.width(), Px(window, 20000));
    CheckFitted(window);
    QCOMPARE(window.runLog()->width(), Px(window, 7395));  // only its height follows
    QCOMPARE(window.updateButton()->geometry(), Twips(window, {4410, 40, 1530, 375}));
  }

  void f4AndDoubleClickFillAPathBoxThroughTheFileDialog() {
    QTemporaryDir dir;
    const QString chosen = dir.filePath("locale.mdb");
    QFile(chosen).open(QIODevice::WriteOnly);
    ModalAnswerer answerer;
    RondivalWindow window(schema::TheEngine(), "|" + dir.filePath("vecchio.mdb"));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.localPath()->setFocus();
    QTRY_VERIFY(window.localPath()->hasFocus());

    QTest::keyClick(window.localPath(), Qt::Key_F4, Qt::ShiftModifier);  // cancelled: the box empties
    QTRY_COMPARE(answerer.seen.size(), size_t{1});
    const ModalAnswerer::Seen& dialog = answerer.seen[0];
    QVERIFY(dialog.file_dialog);
    QCOMPARE(dialog.title, QString("DataBase da Aggiornare"));
    QCOMPARE(dialog.name_filters, QStringList{"File di Access (*.MDB) (*.mdb)"});
    QCOMPARE(dialog.default_suffix, QString("mdb"));
    QCOMPARE(dialog.directory, QDir(dir.path()).absolutePath());  // the folder the box named
    QCOMPARE(window.localPath()->text(), QString());

    answerer.actions.push_back(ModalAnswerer::Choose(chosen));
    QTest::mouseDClick(window.localPath(), Qt::LeftButton);
    QTRY_COMPARE(window.localPath()->text(), QDir::toNativeSeparators(chosen));
    QCOMPARE(answerer.seen.size(), size_t{2});  // the reference box is empty: no complaint

    window.exitButton()->setFocus();
    QTest::keyClick(window.exitButton(), Qt::Key_F4);
    QTest::qWait(50);
    QCOMPARE(answerer.seen.size(), size_t{2});  // F4 outside a path box does nothing
  }

  void leavingABoxChecksUnlessTheExitButtonWasPressed() {
    QTemporaryDir dir;
    const QString missing = dir.filePath("manca.mdb");
    ModalAnswerer answerer;
    RondivalWindow window(schema::TheEngine(), "");
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.referencePath()->setText(missing);
    window.referencePath()->setFocus();
    QTRY_VERIFY(window.referencePath()->hasFocus());
    QTest::keyClick(window.referencePath(), Qt::Key_Tab);
    QTRY_COMPARE(answerer.seen.size(), size_t{1});
    QCOMPARE(answerer.seen[0].title, QString("Vantrel"));  // the box gives no title of its own
    QCOMPARE(answerer.seen[0].text, "DataBase aggiornato inesistente\n" + missing);
    QTRY_COMPARE(window.focusWidget(), window.referencePath());  // sent back where the fault is
    window.activateWindow();  // the offscreen platform does not hand activation back itself
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::qWait(50);
    QCOMPARE(answerer.seen.size(), size_t{1});  // and being sent back is not leaving the other box

    // While a pass runs the exit button is disabled: pressing it is not leaving.
    window.exitButton()->setEnabled(false);
    QTest::mouseClick(window.exitButton(), Qt::LeftButton);
    QVERIFY(!window.formState().bUscita);
    window.exitButton()->setEnabled(true);

    // Pressed on the exit button, dragged off and released: the program goes on, silent.
    QTest::mousePress(window.exitButton(), Qt::LeftButton);
    QTest::mouseRelease(window.exitButton(), Qt::LeftButton, {}, QPoint(-40, -40));
    QTest::qWait(50);
    QVERIFY(window.isVisible());
    QVERIFY(window.formState().bUscita);
    window.referencePath()->setFocus();
    QTest::keyClick(window.referencePath(), Qt::Key_Tab);
    QTest::qWait(50);
    QCOMPARE(answerer.seen.size(), size_t{1});
  }

  void messageBoxesOfferTheButtonsOfTheirStyle() {
    ModalAnswerer answerer;
    RondivalWindow window(schema::TheEngine(), "");
    answerer.actions.push_back(ModalAnswerer::Press(QMessageBox::Retry));
    QCOMPARE(window.MessageBox("Disco non pronto", 53, ""), 4);
    QCOMPARE(answerer.seen.back().title, QString("Vantrel"));
    QCOMPARE(window.MessageBox("Disco non pronto", 53, "Errore"), 2);  // closed: Cancel, never Retry
    QCOMPARE(answerer.seen.back().title, QString("Errore"));
    answerer.actions.push_back(ModalAnswerer::Press(QMessageBox::Yes));
    QCOMPARE(window.MessageBox("Compattare?", 292, "Compattamento DataBase"), 6);
    QCOMPARE(window.MessageBox("Compattare?", 292, "Compattamento DataBase"), 7);
  }

  void textFitsItsControlsAtThisScaling() {
    // The suite runs once at 100 % and once at 200 % (QT_SCALE_FACTOR=2).
    RondivalWindow window(schema::TheEngine(), "");
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
      QCOMPARE(window.devicePixelRatioF(), qgetenv("QT_SCALE_FACTOR").toDouble());
    QCOMPARE(window.updateButton()->geometry(), Twips(window, {4410, 40, 1530, 375}));
    QVERIFY(QFontMetrics(window.referencePath()->font()).height() < window.referencePath()->height());
    for (int i = 0; i < 3; ++i) {
      const QFontMetrics metrics(window.label(i)->font());
      QVERIFY(metrics.height() <= window.label(i)->height());
      QVERIFY(metrics.horizontalAdvance(window.label(i)->text()) <= window.label(i)->width());
    }
    for (QPushButton* button : {window.updateButton(), window.exitButton(), window.verifyButton()})
      QVERIFY(QFontMetrics(button->font()).horizontalAdvance(button->text()) < button->width());
  }

  void verifyFillsTheRunLogFromRealFiles() {
    const QString corpus = QString(VANTREL_CORPUS_DIR);
    if (!QFileInfo::exists(corpus + "/jet4/testV2000.mdb")) QSKIP("no sample databases");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(corpus + "/jet4/queryTestV2000.mdb", dir.filePath("ref.mdb")));
    QVERIFY(QFile::copy(corpus + "/jet4/testV2000.mdb", dir.filePath("loc.mdb")));
    RondivalWindow window(schema::TheEngine(), "");
    RunVerify(window, dir);
    QVERIFY(window.runLog()->count() > 0);
    QCOMPARE(window.runLog()->item(0)->text(), QString("Nuova query: AppendQuery"));
    QVERIFY(window.verifyButton()->isEnabled());
  }

  void verifyShowsWhatTheRebuildWouldCutBesideTheRunLog() {
    QTemporaryDir dir;
    MakeDatabase(dir.filePath("ref.mdb"), 5, {});
    MakeDatabase(dir.filePath("loc.mdb"), 50, {"abcdefgh", "ab", "abcdef"});
    RondivalWindow window(schema::TheEngine(), "");
    RunVerify(window, dir);
    QCOMPARE(window.runLog()->toolTip(), QString("Campi da ricostruire (righe locali):\nVoci.Nome: 3 righe, 2 troncate"));
    // The preview is beside the run log, never in it.
    for (int i = 0; i < window.runLog()->count(); ++i) QVERIFY(!window.runLog()->item(i)->text().contains("troncate"));
  }

  void unattendedRunUpdatesTheLocalDatabaseAndCloses() {
    const QString corpus = QString(VANTREL_CORPUS_DIR);
    if (!QFileInfo::exists(corpus + "/jet4/testV2000.mdb")) QSKIP("no sample databases");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(corpus + "/jet4/queryTestV2000.mdb", dir.filePath("ref.mdb")));
    QVERIFY(QFile::copy(corpus + "/jet4/testV2000.mdb", dir.filePath("loc.mdb")));
    QFile::setPermissions(dir.filePath("loc.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    RondivalWindow window(schema::TheEngine(), dir.filePath("ref.mdb") + "|" + dir.filePath("loc.mdb"));
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
    QCOMPARE(window.passState().nErrore, int16_t{0});
    auto local = jet::Database::Open(dir.filePath("loc.mdb").toStdString());
    QVERIFY(local->FindQuery("AppendQuery") != nullptr);
    QVERIFY(local->FindTable("Table1") != nullptr);
    // Compacted without a question: the copy took the database's name, nothing is left over.
    QVERIFY(QFileInfo(dir.filePath("loc.mdb")).size() < QFileInfo(corpus + "/jet4/testV2000.mdb").size());
    QVERIFY(!QFileInfo::exists(dir.filePath("loc.md~")));
    QVERIFY(jet::check::CheckDatabase(*local).ok());
  }

  void unattendedRunWithSStaysOpenOnTheExitButton() {
    const QString corpus = QString(VANTREL_CORPUS_DIR);
    if (!QFileInfo::exists(corpus + "/jet4/testV2000.mdb")) QSKIP("no sample databases");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(corpus + "/jet4/testV2000.mdb", dir.filePath("ref.mdb")));
    QVERIFY(QFile::copy(corpus + "/jet4/testV2000.mdb", dir.filePath("loc.mdb")));
    QFile::setPermissions(dir.filePath("loc.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    RondivalWindow window(schema::TheEngine(), dir.filePath("ref.mdb") + "|" + dir.filePath("loc.mdb") + "|s");
    window.show();
    QTRY_VERIFY(!window.localPath()->isEnabled());
    QVERIFY(window.isVisible());
    QCOMPARE(window.passState().nErrore, int16_t{0});
    QVERIFY(!window.updateButton()->isVisible());
    QVERIFY(window.exitButton()->styleSheet().contains("#c8d8c8"));
    const int lines = window.runLog()->count();
    QVERIFY(lines >= 3);
    QCOMPARE(window.runLog()->item(lines - 3)->text(), "------------- Compattamento  :   " + dir.filePath("loc.mdb"));
    QCOMPARE(window.runLog()->item(lines - 2)->text(), QString("Compattamento in corso ..."));
    QCOMPARE(window.runLog()->item(lines - 1)->text(), QString("Compattatamento effettuato."));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"

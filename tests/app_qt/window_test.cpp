#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/qt/rondival_window.h"
#include "jet/core/database.h"
#include "schema/jet_engine.h"

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsCarryTheirCaptionsPlacesAndTabOrder() {
    // Not shown: two paths make the run unattended as soon as the window is on screen.
    RondivalWindow window(schema::TheEngine(), "C:\\a.mdb|C:\\b.mdb|S");
    QCOMPARE(window.windowTitle(), QString("Aggiornamento database"));
    QCOMPARE(window.referencePath()->text(), QString("C:\\a.mdb"));
    QCOMPARE(window.localPath()->text(), QString("C:\\b.mdb"));
    QCOMPARE(window.updateButton()->text(), QString("&ESEGUI"));
    QCOMPARE(window.exitButton()->text(), QString("&USCITA"));
    QCOMPARE(window.verifyButton()->text(), QString("&VERIFICA"));
    QCOMPARE(window.referencePath()->nextInFocusChain(), static_cast<QWidget*>(window.localPath()));
    QCOMPARE(window.localPath()->nextInFocusChain(), static_cast<QWidget*>(window.updateButton()));
  }

  void verifyFillsTheRunLogFromRealFiles() {
    const QString corpus = QString(VANTREL_CORPUS_DIR);
    if (!QFileInfo::exists(corpus + "/jet4/testV2000.mdb")) QSKIP("no sample databases");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(corpus + "/jet4/queryTestV2000.mdb", dir.filePath("ref.mdb")));
    QVERIFY(QFile::copy(corpus + "/jet4/testV2000.mdb", dir.filePath("loc.mdb")));
    RondivalWindow window(schema::TheEngine(), "");
    window.referencePath()->setText(dir.filePath("ref.mdb"));
    window.localPath()->setText(dir.filePath("loc.mdb"));
    window.show();
    QTRY_VERIFY(window.verifyButton()->isVisible());
    QTest::mouseClick(window.verifyButton(), Qt::LeftButton);
    QVERIFY(window.runLog()->count() > 0);
    QCOMPARE(window.runLog()->item(0)->text(), QString("Nuova query: AppendQuery"));
    QVERIFY(window.verifyButton()->isEnabled());
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
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"

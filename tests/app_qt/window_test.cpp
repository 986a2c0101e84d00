#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/qt/rondival_window.h"
#include "schema/jet_engine.h"

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsCarryTheirCaptionsPlacesAndTabOrder() {
    RondivalWindow window(schema::TheEngine(), "C:\\a.mdb|C:\\b.mdb|S");
    window.show();
    QCOMPARE(window.windowTitle(), QString("Vantrel"));
    QCOMPARE(window.referencePath()->text(), QString("C:\\a.mdb"));
    QCOMPARE(window.localPath()->text(), QString("C:\\b.mdb"));
    QCOMPARE(window.updateButton()->text(), QString("&ESEGUI"));
    QCOMPARE(window.exitButton()->text(), QString("&USCITA"));
    QCOMPARE(window.verifyButton()->text(), QString("&VERIFICA"));
    // 4410 x 40 twips, at 15 twips a pixel.
    QCOMPARE(window.updateButton()->geometry(), QRect(294, 2, 102, 25));
    QCOMPARE(window.referencePath()->nextInFocusChain(), static_cast<QWidget*>(window.localPath()));
    QCOMPARE(window.localPath()->nextInFocusChain(), static_cast<QWidget*>(window.updateButton()));
  }

  void verifyFillsTheRunLogFromRealFiles() {
    const QString corpus = QString(VANTREL_CORPUS_DIR);
    if (!QFileInfo::exists(corpus + "/jet4/testV2000.mdb")) QSKIP("no sample databases");
    RondivalWindow window(schema::TheEngine(),
                          corpus + "/jet4/queryTestV2000.mdb|" + corpus + "/jet4/testV2000.mdb");
    window.show();
    QTest::mouseClick(window.verifyButton(), Qt::LeftButton);
    QVERIFY(window.runLog()->count() > 0);
    QCOMPARE(window.runLog()->item(0)->text(), QString("Nuova query: AppendQuery"));
    QVERIFY(window.verifyButton()->isEnabled());
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"

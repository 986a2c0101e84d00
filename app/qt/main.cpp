#include <QApplication>
#include <QStringList>

#include "app/qt/rondival_window.h"
#include "schema/jet_engine.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The argument text is the rest of the command line, joined as the platform passed it.
  QStringList words = QApplication::arguments();
  words.removeFirst();
  RondivalWindow window(schema::TheEngine(), words.join(' '));
  window.show();
  return application.exec();
}

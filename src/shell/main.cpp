// Loftmark's entry point. Until the main window is built this opens an empty
// window titled "Loftmark".
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.setWindowTitle(QStringLiteral("Loftmark"));
  w.resize(413, 389);
  w.show();
  return app.exec();
}

// The time client's program block. Builds the application object and runs the main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QMainWindow w;
  w.show();
  return app.exec();
}

#include "platform/ui/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <cstdlib>

#include "platform/system.h"

namespace kv::ui {

namespace {

bool EnvSet(const char *name) {
  const char *v = std::getenv(name);
  return v && *v;
}

} // namespace

DisplayChoice ChooseDisplay(bool may_run_offscreen) {
  if (EnvSet("QT_QPA_PLATFORM") || EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY"))
    return DisplayChoice::Display;
  if (!may_run_offscreen) return DisplayChoice::Missing;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return DisplayChoice::Offscreen;
}

QString NoDisplayMessage(const QString &program) {
  return QStringLiteral("%1: Es ist keine grafische Oberfläche verfügbar (weder DISPLAY noch "
                        "WAYLAND_DISPLAY ist gesetzt). Bitte starten Sie das Programm in einer "
                        "Desktop-Sitzung. Ohne Oberfläche läuft nur der Automatik-Modus: %1 /a")
      .arg(program);
}

bool IsHeadless() {
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return true;
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

QString TApplication::ProgramDirectory() const {
  return QString::fromStdString(platform::ProgramDirectory());
}

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void TApplication::Terminate() {
  QCoreApplication *app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app,
      [] {
        for (QWidget *w : QApplication::topLevelWidgets())
          if (qobject_cast<QMainWindow *>(w) && w->isVisible()) w->close();
        QCoreApplication::quit();
      },
      Qt::QueuedConnection);
}

TApplication &Application() {
  static TApplication app;
  return app;
}

} // namespace kv::ui

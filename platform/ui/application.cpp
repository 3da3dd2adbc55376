#include "platform/ui/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

#include "platform/shared_library.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/ui/message_box.h"

namespace kv::ui {

namespace {

bool EnvSet(const char *name) {
  const char *v = std::getenv(name);
  return v && *v;
}

QString Env(const char *name) {
  return QString::fromLocal8Bit(std::getenv(name));
}

QtMessageHandler g_previous_handler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  // Qt then makes and uses a private folder of its own; nothing is wrong.
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
    return;
  if (g_previous_handler)
    g_previous_handler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

namespace {

// The probe's connection is held until Qt's own is up: an X server that serves a single client
// (xvfb-run) resets itself when its last client leaves, and Qt's connection then waits for the
// reset (about 300 ms).
class HeldXConnection {
public:
  ~HeldXConnection() { Release(); }
  void Hold(platform::TSharedLibrary library, void *connection, void (*disconnect)(void *)) {
    Release();
    library_ = std::move(library);
    connection_ = connection;
    disconnect_ = disconnect;
  }
  bool Holding() const { return connection_ != nullptr; }
  void Release() {
    if (connection_) disconnect_(connection_);
    connection_ = nullptr;
    library_.Close();
  }

private:
  platform::TSharedLibrary library_;
  void *connection_ = nullptr;
  void (*disconnect_)(void *) = nullptr;
};

HeldXConnection &HeldProbe() {
  static HeldXConnection held;
  return held;
}

// Runs when the application object exists; by the first pass of its event loop Qt is connected.
void ReleaseProbeOnceStarted() {
  if (HeldProbe().Holding())
    QTimer::singleShot(0, QCoreApplication::instance(), [] { HeldProbe().Release(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ReleaseProbeOnceStarted)

bool XServerAnswers(const QString &display, const std::string &library) {
  // libxcb is what Qt's X platform connects with; loaded by name so that a machine without it
  // simply has no X display.
  platform::TSharedLibrary xcb;
  void *(*connect)(const char *, int *) = nullptr;
  int (*has_error)(void *) = nullptr;
  void (*disconnect)(void *) = nullptr;
  xcb.Open(library);
  xcb.Bind("xcb_connect", connect);
  xcb.Bind("xcb_connection_has_error", has_error);
  xcb.Bind("xcb_disconnect", disconnect);
  if (!xcb.Usable()) return false;
  const QByteArray name = display.toLocal8Bit();
  void *connection = connect(name.constData(), nullptr);
  if (!connection || has_error(connection) != 0) {
    if (connection) disconnect(connection);
    return false;
  }
  HeldProbe().Hold(std::move(xcb), connection, disconnect);
  // Asked while Qt already runs, nothing waits for the connection.
  if (QCoreApplication::instance()) HeldProbe().Release();
  return true;
}

bool WaylandAnswers(const QString &display) {
  QString path = display;
  if (!path.startsWith(QLatin1Char('/'))) {
    const QString runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return false;
    path = runtime + QLatin1Char('/') + path;
  }
  const QByteArray file = path.toLocal8Bit();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (file.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return false;
  std::memcpy(address.sun_path, file.constData(), static_cast<size_t>(file.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answers = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
  ::close(fd);
  return answers;
}

DisplayChoice ChooseDisplay(bool may_run_offscreen) {
  if (EnvSet("QT_QPA_PLATFORM")) return DisplayChoice::Display;
  if (EnvSet("WAYLAND_DISPLAY") && WaylandAnswers(Env("WAYLAND_DISPLAY"))) return DisplayChoice::Display;
  if (EnvSet("DISPLAY") && XServerAnswers(Env("DISPLAY"))) return DisplayChoice::Display;
  if (!may_run_offscreen) return DisplayChoice::Missing;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return DisplayChoice::Offscreen;
}

QString NoDisplayMessage(const QString &program, bool automatic_mode) {
  QStringList silent;
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (EnvSet(name)) silent << QStringLiteral("%1=%2").arg(QLatin1String(name), Env(name));
  const QString why = silent.isEmpty()
                          ? QStringLiteral("weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt")
                          : QStringLiteral("%1 ist gesetzt, aber dort antwortet keine Oberfläche")
                                .arg(silent.join(QStringLiteral(" und ")));
  QString text = QStringLiteral("Es ist keine grafische Oberfläche verfügbar (%1). Bitte starten Sie das "
                                "Programm in einer Desktop-Sitzung.")
                     .arg(why);
  if (automatic_mode)
    text += QStringLiteral(" Ohne Oberfläche läuft nur der Automatik-Modus: %1 /a").arg(program);
  return text;
}

void QuietQtNotices() {
  QtMessageHandler previous = qInstallMessageHandler(QuietHandler);
  if (previous != QuietHandler) g_previous_handler = previous;
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

bool TApplication::HelpContext(int context, QWidget *parent) {
  if (help_hook_) {
    help_hook_(context);
    return true;
  }
  // The help file lies outside the program; when it is missing or nothing opens it, the user is
  // told so instead of seeing nothing happen. The viewer shows the file; a topic number means
  // nothing to it.
  if (help_file_.isEmpty()) {
    ShowError(parent, QStringLiteral("Für dieses Programm ist keine Hilfedatei eingerichtet."));
    return false;
  }
  if (!QFileInfo(help_file_).isFile()) {
    ShowError(parent, QStringLiteral("Die Hilfedatei „%1“ wurde nicht gefunden.").arg(help_file_));
    return false;
  }
  const std::string file = help_file_.toStdString();
  if (!(help_opener_ ? help_opener_(file) : platform::ShellOpen(file)).Succeeded()) {
    ShowError(parent, QStringLiteral("Die Hilfedatei „%1“ konnte nicht geöffnet werden: Es ist kein "
                                     "Programm zum Anzeigen dieser Datei eingerichtet.")
                          .arg(help_file_));
    return false;
  }
  return true;
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

namespace {

// Catches F1 on its way up: a control that has no use for the key passes it to its window.
class HelpKey : public QObject {
public:
  HelpKey(QWidget *window, int context) : QObject(window), window_(window), context_(context) {}

  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    int context = context_;
    for (QWidget *w = window_->focusWidget(); w && w != window_; w = w->parentWidget())
      if (w->property("helpContext").isValid()) {
        context = w->property("helpContext").toInt();
        break;
      }
    Application().HelpContext(context, window_);
    return true;
  }

private:
  QWidget *window_;
  int context_;
};

} // namespace

void InstallHelpKey(QWidget *window, int context) {
  window->installEventFilter(new HelpKey(window, context));
}

} // namespace kv::ui

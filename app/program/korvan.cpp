// The time client's program block: prepares the application object, creates the main window
// and runs the message loop until the main window closes.
#include <QApplication>
#include <chrono>
#include <cstdlib>

#include "app/main_form.h"
#include "controls/edits/support_units.h"
#include "log/fast_log.h"
#include "platform/default_locale.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/qt_dispatcher.h"
#include "platform/ui/termination_signals.h"
#include "platform/version.h"

KV_DEFINE_VERSION_RECORD(KORVANE_VERSION);

namespace {

// The log cannot be written to its end (a part of the logger was held up beyond its limit: a
// pipe nobody reads, a hung disk). Said like the run's other messages, naming that part; then the
// process ends at once, as waiting for the logger's threads could last for ever.
[[noreturn]] void EndWithUnfinishedLog(kv::logging::TFastLog &log) {
  using kv::logging::TLogStall;
  const TLogStall &stall = log.Stalled();
  const QString seconds =
      QString::number(std::chrono::duration_cast<std::chrono::seconds>(stall.limit).count());
  const QString file = QString::fromLocal8Bit(log.Writer().FileDef().FullName());
  QString where;
  switch (stall.part) {
  case TLogStall::Parser:
    where =
        QStringLiteral("das Aufbereiten der Protokollzeilen kam %1 Sekunden lang nicht voran").arg(seconds);
    break;
  case TLogStall::Open:
    where = QStringLiteral("die Protokolldatei ließ sich %1 Sekunden lang nicht anlegen").arg(seconds);
    break;
  case TLogStall::Write:
    where = QStringLiteral("in die Protokolldatei %1 ließ sich %2 Sekunden lang nichts schreiben")
                .arg(file, seconds);
    break;
  case TLogStall::Close:
    where = QStringLiteral("das Schließen der Protokolldatei %1 und das Aufräumen ihres Ordners kamen in %2 "
                           "Sekunden nicht zu Ende")
                .arg(file, seconds);
    break;
  case TLogStall::None:
    where = QStringLiteral("das Protokoll kam nicht voran");
    break;
  }
  const QString text = QStringLiteral("Das Protokoll konnte nicht zu Ende geschrieben werden (%1); der Lauf "
                                      "endet ohne die restlichen Zeilen.")
                           .arg(where);
  kv::platform::SayOnStandardError(text.toStdString());
  std::_Exit(1);
}

} // namespace

int main(int argc, char **argv) {
  using namespace kv;
  // Only the first argument counts, and only as "/a" or "/A".
  const bool automatic = argc > 1 && (std::string_view(argv[1]) == "/a" || std::string_view(argv[1]) == "/A");
  // Started without any locale variable (cron, a service), the system's regional settings
  // still apply; Qt's application object takes them over from the environment.
  platform::UseSystemDefaultLocale();
  ui::QuietQtNotices();
  // The edit library's support units prepare their tables (the character classes of the user's
  // locale, settled just above) before the program block runs, and release them last.
  edits::SupportUnitsScope support_units;
  // The automatic mode runs from cron or a timer without a display; the window needs one.
  if (ui::ChooseDisplay(automatic) == ui::DisplayChoice::Missing) {
    platform::SayOnStandardError(ui::NoDisplayMessage(QStringLiteral("korvan")).toStdString());
    return 1;
  }

  // The logger lives before and after the window, so every line the window adds is written
  // before the program ends.
  logging::GlobalLogScope global_log;
  // A stop request also ends the logger's waits: for its folder's lock, for its file to open.
  logging::GlobalLog()->SetStopSource(&ui::StopRequest());
  QApplication app(argc, argv);
  ui::Application().SetTitle(QStringLiteral("Korvane 2005"));
  ui::Application().SetHelpFile(QStringLiteral("korvan.hlp"));

  ui::QtDispatcher dispatcher;
  app::TMainForm form(dispatcher, QApplication::arguments().mid(1));
  QObject::connect(&form, &app::TMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  // Asked to stop, the program closes its window as the close box does, so settings are saved.
  ui::TerminationSignals stop([&form](int signal) { form.StopRequested(signal); });

  form.show();
  const int status = app.exec();
  // Every line is written before the end, unless a write no longer returns.
  if (!logging::GlobalLog()->Finish()) EndWithUnfinishedLog(*logging::GlobalLog());
  // The automatic mode tells cron or a timer whether the clock was set (0) or not (1).
  return status != 0 ? status : form.ExitStatus();
}

// The time client's program block: prepares the application object, creates the main window
// and runs the message loop until the main window closes.
#include <QApplication>
#include <cstdio>

#include "app/main_form.h"
#include "controls/edits/support_units.h"
#include "log/fast_log.h"
#include "platform/default_locale.h"
#include "platform/ui/application.h"
#include "platform/ui/qt_dispatcher.h"
#include "platform/ui/termination_signals.h"
#include "platform/version.h"

KV_DEFINE_VERSION_RECORD(KORVANE_VERSION);

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
    std::fprintf(stderr, "%s\n", ui::NoDisplayMessage(QStringLiteral("korvan")).toLocal8Bit().constData());
    return 1;
  }

  // The logger lives before and after the window, so every line the window adds is written
  // before the program ends.
  logging::GlobalLogScope global_log;
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
  // The automatic mode tells cron or a timer whether the clock was set (0) or not (1).
  return status != 0 ? status : form.ExitStatus();
}

#include "cfgtool/config_tool.h"

#include <QApplication>

#include "controls/edits/support_units.h"
#include "platform/default_locale.h"
#include "platform/system.h"
#include "platform/ui/application.h"

namespace kv::cfgtool {

std::unique_ptr<app::TConfigForm> StartConfigTool(std::unique_ptr<net::RasBackend> ras) {
  ui::Application().SetTitle(QString::fromUtf8(kTitle));
  ui::Application().SetHelpFile(ui::Application().ProgramDirectory() + QStringLiteral("korvan.hlp"));
  auto form = std::make_unique<app::TConfigForm>(nullptr, QString(), std::move(ras));
  QObject::connect(form.get(), &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  form->show();
  return form;
}

int RunConfigTool(int argc, char **argv) {
  // The regional settings apply however the program was started.
  platform::UseSystemDefaultLocale();
  ui::QuietQtNotices();
  // The edit library's support units prepare their tables before the dialog exists and release
  // them last.
  edits::SupportUnitsScope support_units;
  if (ui::ChooseDisplay(false) == ui::DisplayChoice::Missing) {
    platform::SayOnStandardError(ui::NoDisplayMessage(QStringLiteral("kvnadm"), false).toStdString());
    return 1;
  }
  QApplication app(argc, argv);
  const std::unique_ptr<app::TConfigForm> form = StartConfigTool();
  return app.exec();
}

} // namespace kv::cfgtool

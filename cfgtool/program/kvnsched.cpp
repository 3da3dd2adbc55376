// kvnsched: arranges (or with "--remove" takes back) the hourly run of "korvan /a" from the
// given program directory, or from its own. Started from the configuration dialog it has no
// terminal, so it shows its report in a message box; in a terminal it prints it.
#include <QApplication>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cfgtool/scheduler.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"

int main(int argc, char **argv) {
  using namespace kv;
  bool remove = false;
  std::string directory;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--remove")
      remove = true;
    else
      directory = arg;
  }
  if (directory.empty()) directory = platform::ProgramDirectory();
  if (directory.back() != '/') directory += '/';

  const cfgtool::TSchedulerHost host = cfgtool::SystemHost();
  const cfgtool::TScheduleReport report =
      remove ? cfgtool::Unschedule(host) : cfgtool::Schedule(host, directory);

  if (!::isatty(STDOUT_FILENO) && ui::ChooseDisplay(false) == ui::DisplayChoice::Display) {
    QApplication app(argc, argv);
    ui::MessageRequest box;
    box.text = QString::fromStdString(report.Text);
    box.caption = QStringLiteral("Korvane - Ausführung planen");
    box.icon = report.Succeeded ? ui::MessageIcon::Information : ui::MessageIcon::Error;
    ui::ShowMessage(nullptr, box);
  } else {
    std::fprintf(report.Succeeded ? stdout : stderr, "%s\n", report.Text.c_str());
  }
  return report.Succeeded ? 0 : 1;
}

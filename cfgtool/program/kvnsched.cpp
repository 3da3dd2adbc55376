// kvnsched: arranges (or with "--remove" takes back) the hourly run of "korvan /a" from the
// given program directory, or from its own. Started from the configuration dialog it has no
// terminal, so it shows its report in a message box; in a terminal it prints it. How it is called
// (--help, or an option it does not know) is always printed.
#include <QApplication>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cfgtool/scheduler.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"

namespace {

// In a message box when there is a display but no terminal, else on standard output (or
// standard error when `ok` is false).
void Tell(int argc, char **argv, const kv::cfgtool::TScheduleReport &report) {
  using namespace kv;
  if (!::isatty(STDOUT_FILENO) && ui::ChooseDisplay(false) == ui::DisplayChoice::Display) {
    QApplication app(argc, argv);
    ui::MessageRequest box;
    box.text = QString::fromStdString(report.Text);
    box.caption = QStringLiteral("Korvane - Ausführung planen");
    box.icon = report.Succeeded ? ui::MessageIcon::Information : ui::MessageIcon::Error;
    for (const std::string &command : report.Commands)
      box.unbroken << QString::fromStdString(command);
    ui::ShowMessage(nullptr, box);
  } else {
    std::fprintf(report.Succeeded ? stdout : stderr, "%s\n", report.Text.c_str());
  }
}

} // namespace

int main(int argc, char **argv) {
  using namespace kv;
  bool remove = false, help = false;
  std::string directory, wrong;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--remove")
      remove = true;
    else if (arg == "--help" || arg == "-h")
      help = true;
    else if ((arg.size() > 1 && arg[0] == '-') || !directory.empty())
      wrong = arg;
    else
      directory = arg;
  }
  // How it is called goes to the terminal it was asked from, also where there is a display: the
  // window never asks for it.
  if (!wrong.empty()) {
    std::fprintf(stderr, "Unbekanntes Argument „%s“.\n\n%s\n", wrong.c_str(), cfgtool::UsageText().c_str());
    return 2;
  }
  if (help) {
    std::printf("%s\n", cfgtool::UsageText().c_str());
    return 0;
  }
  if (directory.empty()) directory = platform::ProgramDirectory();
  if (directory.back() != '/') directory += '/';

  const cfgtool::TSchedulerHost host = cfgtool::SystemHost();
  const cfgtool::TScheduleReport report =
      remove ? cfgtool::Unschedule(host) : cfgtool::Schedule(host, directory);
  Tell(argc, argv, report);
  return report.Succeeded ? 0 : 1;
}

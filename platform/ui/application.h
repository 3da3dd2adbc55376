#pragma once
// The application object: title, help file, program directory and processing of pending
// messages, plus the choice of the Qt platform before the QApplication exists.

#include <QString>
#include <functional>
#include <string>

#include "platform/shell.h"

class QWidget;

namespace kv::ui {

enum class DisplayChoice {
  Display,   // a display (or a platform named in QT_QPA_PLATFORM) is there: use it
  Offscreen, // none, and the program may run without one: Qt's offscreen platform is chosen
  Missing,   // none, and the program needs one
};

// Decides how to start Qt; call before the QApplication is created. Honours QT_QPA_PLATFORM
// when it is set; otherwise takes a display named in WAYLAND_DISPLAY or DISPLAY only when it
// answers (Qt would abort on one that does not), and with none sets QT_QPA_PLATFORM=offscreen
// when `may_run_offscreen`.
DisplayChoice ChooseDisplay(bool may_run_offscreen);

// True when the X server named by `display` (DISPLAY's syntax) accepts a connection made with
// `library`; false too when that cannot be loaded or lacks a function.
bool XServerAnswers(const QString &display, const std::string &library = "libxcb.so.1");
// True when the Wayland compositor named by `display` (WAYLAND_DISPLAY's syntax, relative to
// XDG_RUNTIME_DIR) accepts a connection.
bool WaylandAnswers(const QString &display);

// The German message for a program that needs a display and has none; it says which display
// variables are set and do not answer, and names the automatic mode when the program has one.
QString NoDisplayMessage(const QString &program, bool automatic_mode = true);

// Keeps Qt's notices that report nothing wrong off standard error (the fallback for a missing
// XDG_RUNTIME_DIR, usual under cron and for root), so that a run with nothing to report writes
// nothing there. Every other message goes where it went before. Call before the QApplication.
void QuietQtNotices();

// True when nobody can see or answer a window: no QApplication, or Qt runs on the offscreen or
// minimal platform.
bool IsHeadless();

class TApplication {
public:
  const QString &Title() const { return title_; }
  void SetTitle(const QString &title) { title_ = title; }
  const QString &HelpFile() const { return help_file_; }
  void SetHelpFile(const QString &file) { help_file_ = file; }
  // Directory of the running program, with a trailing "/".
  QString ProgramDirectory() const;
  // Runs the events that are waiting (repaints, queued calls) and returns.
  void ProcessMessages();
  // The one way to show help: topic `context` of the help file (0: the file as a whole). The
  // installed help hook gets the topic; without one the help file is opened with the help
  // opener. When there is no help file, or nothing on the desktop opens it, an error box over
  // `parent` says so in German (standard error without a display). Returns true when help was
  // shown.
  bool HelpContext(int context, QWidget *parent = nullptr);
  // Installs the hook that shows help topics (tests record them); an empty one removes it.
  void SetHelpHook(std::function<void(int)> hook) { help_hook_ = std::move(hook); }
  // Replaces what opens the help file (tests); an empty one puts back the desktop's opener.
  void SetHelpOpener(std::function<platform::ShellResult(const std::string &)> opener) {
    help_opener_ = std::move(opener);
  }
  // Asks the program to end once control returns to its event loop: the main window closes as
  // its close box would (so it saves what it keeps), and every running event loop ends, modal
  // dialogs' included.
  void Terminate();

private:
  QString title_;
  QString help_file_;
  std::function<void(int)> help_hook_;
  std::function<platform::ShellResult(const std::string &)> help_opener_;
};

// The process's one application object.
TApplication &Application();

// F1 in `window`, whichever of its controls has the focus, shows help through
// Application().HelpContext: the topic of the nearest control, from the focused one outwards,
// that carries a "helpContext" property, else `context`.
void InstallHelpKey(QWidget *window, int context);

} // namespace kv::ui

#pragma once
// TMainForm: the time client's one window and the host of the automatic mode. It loads the
// interactive settings (and with "/a" the automatic mode's) from the registry when first shown,
// and saves the interactive settings when it closes.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/config_values.h"
#include "net/dial_up.h"
#include "platform/dispatcher.h"

class QDialog;
class QLabel;
class QRadioButton;
class QLineEdit;
class QTimer;

namespace Ui {
class TMainForm;
}

namespace kv::platform {
class TRegistry;
}

namespace kv::net {
class TSNTPSend;
}

namespace kv::ui {
class TImageList;
}

namespace kv::panels {
class TCustomExPanel;
class TExNavBar;
class TExNavBarPanel;
class TExPanel;
class TExPanelStyler;
} // namespace kv::panels

namespace kv::app {

class TBlockingRun;

// The interactive settings' key under HKEY_CURRENT_USER (the automatic mode's: kAutoKey).
inline constexpr const char *kInteractiveKey = "\\Software\\Halvern\\Korvane";
// The bounds of "ATimeout" the run uses, as the configuration dialog allows them: a hand-written
// larger value would keep the warm-up going for days, a negative one would skip it and wait for
// no answer at all. 0, which the dialog shows but does not save, is kept.
inline constexpr int32_t kMinTimeoutSeconds = 1;
inline constexpr int32_t kMaxTimeoutSeconds = 120;

// The window's settings fields; all zero, False or empty when the window is created, but for
// the automatic values' defaults.
struct TMainFormFields {
  bool AutoMode = false;   // first argument "/a" or "/A"
  bool ModeDialUp = false; // the connection mode; exactly one is True after a radio click
  bool ModeSocks5 = false;
  bool ModeLAN = false;
  QString ComputerName; // this computer's short name, at most 15 characters
  // The automatic mode's values, all twenty in one place: with "/a" as its key holds them (the
  // time-out within its bounds), else the window's own (15 s, no mail, no log). The connection,
  // the server, the modes and the proxy also go into their controls, from which every run
  // reads them; the run reads the others here (ATimeout is the time-out in seconds, ANetMessage
  // switches the mail notice on, ALoggingCount's low 16 bits go to the logger).
  TAutoSettings Auto;
};

// What a synchronisation run reaches outside the window; tests replace parts of it.
struct TSyncHooks {
  // Port of the time server (the address field names only the host).
  std::string NtpPort = "ntp";
  // Called just before each query of the time server, with the client as configured for it.
  std::function<void(net::TSNTPSend &)> BeforeRequest;
  // The pause after each warm-up query; sleeps the given milliseconds unless replaced.
  std::function<void(int)> Pause;
  // The automatic mode gives a dial this long to reach connected or an error.
  int DialDeadlineMs = 180000;
};

// The outcome of one query step.
struct TQueryResult {
  bool Answered = false; // the server answered and the answer was accepted
  bool ClockSet = false; // and the system clock now shows the server time
  double ServerTime = 0; // the server time shown, UTC, whole milliseconds
  QString NotSetReason;  // why an answer did not set the clock, in German
};

// What the navigation pane's commands reach outside the window; tests replace them.
struct TPaneHooks {
  // Shows a dialog opened from the pane modally; its exec() unless replaced.
  std::function<void(QDialog &)> ShowModal;
};

// The window-menu command of "Info über...".
inline constexpr unsigned kAboutCommand = 0xF200;

// How the mail notice reaches the mail server: directly (LAN, or over the dial-up line, where the
// connecting line is logged before connecting) or through the SOCKS5 proxy of the window.
enum class TNoticeRoute { LAN, DialUp, Socks5 };

class TMainForm : public QMainWindow {
  Q_OBJECT

public:
  // `arguments`: the command line without the program name. `ras`: the dial-up backend; null
  // for the system's (the PPP peers).
  TMainForm(platform::Dispatcher &dispatcher, QStringList arguments,
            std::unique_ptr<net::RasBackend> ras = nullptr, QWidget *parent = nullptr);
  ~TMainForm() override;

  const TMainFormFields &Fields() const { return F; }

  // Help context of the window.
  static constexpr int HelpContext = 4;

  // Non-visual components.
  std::unique_ptr<net::TDialUp> DialUp1;
  QTimer *Timer = nullptr;
  // Ends an automatic dial that reaches neither connected nor an error in time.
  QTimer *DialDeadline = nullptr;

  TSyncHooks Hooks;
  TPaneHooks PaneHooks;

  // The navigation pane on the left: three pages, each with one mark-up panel.
  panels::TExNavBar *ExNavBar1 = nullptr;
  panels::TExNavBarPanel *ExNavBarPanel1 = nullptr; // "Hilfe"
  panels::TExNavBarPanel *ExNavBarPanel2 = nullptr; // "Update"
  panels::TExNavBarPanel *ExNavBarPanel3 = nullptr; // "Hauptfunktionen", shown first
  // The pages' mark-up panels; their anchors go to ExPanel1AnchorClick.
  panels::TExPanel *ExPanel2 = nullptr; // on "Hauptfunktionen": "konfig", "ende"
  panels::TExPanel *ExPanel3 = nullptr; // on "Update": "update"
  panels::TExPanel *ExPanel4 = nullptr; // on "Hilfe": "hilfe", "info"
  // Named by no panel.
  panels::TExPanelStyler *ExPanelStyler1 = nullptr;
  // The panels' pictures (16 x 16) and the page icons (24 x 24).
  std::shared_ptr<ui::TImageList> ImageList1;
  std::shared_ptr<ui::TImageList> ImageList2;

  // The automatic mode's exit status: 0 when the run set the clock, 1 otherwise. 0 in the
  // interactive mode.
  int ExitStatus() const;

  // Handlers.
  void FormCreate();
  void DialUp1EntryGet(net::TDialUp *Sender, const std::string &EntryName);
  void FormShow();
  void FormClose();
  void optDUNClick();
  void optSocksClick();
  void optLANClick();
  void btnSyncClick();
  // The pane's anchors: "konfig", "ende", "update", "hilfe", "info"; anything else does nothing.
  void ExPanel1AnchorClick(panels::TCustomExPanel *Sender, const QString &Anchor);
  // A window-menu command: "Info über..." (kAboutCommand, low four bits aside) opens the about box.
  void ShowAboutOnSysCommand(unsigned Command);

  // One synchronisation in the selected connection mode.
  void NTPSync();
  // The dial-up poll timer and the dial-up events.
  void TimerTimer();
  void DialUp1Dialing(net::TDialUp *Sender);
  void DialUp1NotConnected(net::TDialUp *Sender, int ErrorCode, const std::string &ErrorMessage);
  void DialUp1AsyncEvent(net::TDialUp *Sender, int State, int Error, const std::string &MessageText);
  void DialUp1Error(net::TDialUp *Sender, int ErrorCode, const std::string &ErrorMessage);
  // Asked by a signal to stop: an automatic run still under way logs why it ends, hangs up a
  // dialled line and writes its footer; then the window closes as its close box does.
  void StopRequested(int signal);
  // The mail notice's message identifier: "<" + day ordinal + milliseconds since midnight +
  // "@" + computer name + ">".
  QString GetMsgId();

signals:
  // The window has closed (its settings are saved); the program ends.
  void Closed();

protected:
  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  void ReadInteractiveKey(const platform::TRegistry &reg);
  void ApplyAutoSettings(const TAutoSettings &values);
  // Copies the automatic values the window shows in controls between `values` and the controls:
  // into the controls when `show`, else out of them.
  void ExchangeShownValues(TAutoSettings &values, bool show);
  void ApplyConnection(int32_t index);
  void ApplyMode(bool &flag, QRadioButton *button, bool value);
  void SetRadioChecked(QRadioButton *button, bool checked);
  void EnableConnectionControls(bool dialUp, bool socks);
  // The status bar's text: dial-up progress, "Delay ..."; it stays until replaced.
  void ShowStatus(const QString &text);
  void WriteInteractiveKey();

  // The navigation pane (main_form_pane.cpp).
  void CreateNavigationPane();
  template <class Dialog> void ShowDialog();
  void OpenHelpFile();

  // The synchronisation run (sync_run.cpp).
  bool DialUpBlock();
  bool Socks5Block();
  void LANBlock();
  std::unique_ptr<net::TSNTPSend> NewClient();
  bool Request(net::TSNTPSend &client);
  void WarmUp(net::TSNTPSend &client);
  TQueryResult QueryStep(std::unique_ptr<net::TSNTPSend> client);
  QString ReportClockNotSet(const net::TSNTPSend &client);
  bool SendNotice(TNoticeRoute route, const TQueryResult &result);
  void DialTimedOut();
  // The dial of this run is over: its deadline is stopped, the line hung up, "DFÜ-Status" set to
  // `status`, and the run ends (with NTPSync when inside it).
  void EndDial(const QString &status);
  // Hangs up; then "DFÜ-Status" reads `status`.
  void HangUpLine(const QString &status);
  void StartRunLog();
  void Log(const std::string &line);
  void AddFooter();
  // `reason` is the English log line (escaped here), `message` the user's German text.
  void ReportFailure(const std::string &reason, const QString &message);
  void AbortAutomaticRun(const std::string &reason, const QString &message);
  void EndAutomaticRun();
  // A stop signal has come: the run stops at its next step and reports nothing more in boxes.
  bool Stopping() const;
  // One German line on standard error, the program's name first.
  void Say(const QString &message);
  // "Automatic run stopped by signal N." in the log, and in German on standard error; once.
  void LogStop(int signal);

  std::unique_ptr<Ui::TMainForm> ui;
  // The synchronisation run under way, from its start to its end; it holds "Synchronisieren".
  std::unique_ptr<TBlockingRun> run_;
  QLabel *StatusText = nullptr; // the status bar's panel
  TMainFormFields F;
  QStringList arguments_;
  bool shown_ = false;
  bool inSync_ = false;    // NTPSync is running
  bool dialling_ = false;  // a dial of this run is under way
  bool clockSet_ = false;  // a query of this process set the clock
  bool autoEnded_ = false; // the automatic run has ended; the window closes
  bool stopLogged_ = false;
  // "ATimeout" as read when it was outside its bounds.
  std::optional<int32_t> unboundedTimeout_;
};

} // namespace kv::app

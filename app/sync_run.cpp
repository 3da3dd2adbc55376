// The main window's synchronisation run: the LAN, SOCKS5 and dial-up blocks, the query step
// they share, the dial-up poll timer and events, and the mail notice. Everything runs on the GUI
// thread and blocks it while the time server or the mail server is asked.
#include "app/main_form.h"

#include "ui_mainform.h"

#include <QDir>
#include <QGuiApplication>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/blocking_run.h"
#include "app/log_text.h"
#include "app/mail_notice.h"
#include "app/user_texts.h"
#include "log/fast_log.h"
#include "net/net_util.h"
#include "net/ras.h"
#include "net/smtp_client.h"
#include "net/sntp_send.h"
#include "platform/datetime.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/ui/termination_signals.h"

namespace kv::app {

namespace {

// Largest clock difference the run corrects: seven days.
constexpr double kMaxSyncDiff = 604800.0;

std::string Text(const QString &s) {
  return s.toStdString();
}
QString Q(const std::string &s) {
  return QString::fromStdString(s);
}
// A setting quoted in a log line.
std::string Esc(const QString &s) {
  return LogSetting(s.toStdString());
}
// A setting quoted in a failure's text (escaped for the log when it is logged).
std::string Quoted(const QString &s) {
  return QuotedSetting(s.toStdString());
}

// Seconds as the client's millisecond time-out, held within its range. A negative time-out
// would make the client wait without limit, and the automatic run would then never end.
int Millis(int64_t seconds) {
  return static_cast<int>(std::clamp<int64_t>(seconds * 1000, 0, INT_MAX));
}

// A date-time cut to whole milliseconds.
double WholeMillis(double t) {
  // The tolerance covers the rounding of a day count near 45000 (about 0.5 microseconds).
  return std::floor(t * 86400000.0 + 1e-3) / 86400000.0;
}

// Fixed-point text of `value` rounded to `precision` significant digits, with `decimals` decimals.
std::string FixedText(double value, int precision, int decimals) {
  if (value != 0 && std::isfinite(value)) {
    const double scale =
        std::pow(10.0, precision - 1 - static_cast<int>(std::floor(std::log10(std::fabs(value)))));
    value = std::round(value * scale) / scale;
  }
  return platform::FloatToStrF(value, decimals);
}

// The log's English text of a dial-up error: ours when we know the number, else the component's.
std::string DialErrorTextEnglish(int code, const std::string &message) {
  const char *text = net::RasErrorText(code);
  return text ? text : message;
}

// The system's text of an errno value in English, whatever the locale: log lines are English.
std::string EnglishErrnoText(int err) {
  const char *text = strerrordesc_np(err);
  return text ? text : "error " + std::to_string(err);
}

std::string EnglishFixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

} // namespace

TBlockingRun::TBlockingRun(QToolButton *button) : button_(button), wasEnabled_(button->isEnabled()) {
  button->setEnabled(false);
}

TBlockingRun::~TBlockingRun() {
  if (button_) button_->setEnabled(wasEnabled_);
}

TBlockingRun::TWait::TWait(QToolButton *button) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  button->repaint();
}

TBlockingRun::TWait::~TWait() {
  QGuiApplication::restoreOverrideCursor();
}

int TMainForm::ExitStatus() const {
  return F.AutoMode && !clockSet_ ? 1 : 0;
}

QString TMainForm::GetMsgId() {
  return Q(MakeMsgId(platform::DecodeDateTime(platform::NowLocal()), Text(F.ComputerName)));
}

void TMainForm::NTPSync() {
  if (!run_) run_ = std::make_unique<TBlockingRun>(ui->btnSync);
  ShowStatus({}); // the last run's delay is not this run's
  inSync_ = true;
  if (F.AutoMode && F.Auto.ALogging) StartRunLog();
  if (F.AutoMode && unboundedTimeout_) {
    const bool above = *unboundedTimeout_ > kMaxTimeoutSeconds;
    Log("Time-out of " + std::to_string(*unboundedTimeout_) + " s in the settings is " +
        (above ? "above the maximum" : "below the minimum") + " of " + std::to_string(F.Auto.ATimeout) +
        " s; " + std::to_string(F.Auto.ATimeout) + " s is used.");
  }
  try {
    bool goOn = !Stopping();
    if (goOn && F.ModeDialUp) goOn = DialUpBlock();
    if (goOn && F.ModeSocks5) goOn = Socks5Block();
    if (goOn && F.ModeLAN) LANBlock();
  } catch (const std::exception &e) {
    ReportFailure(std::string("Synchronisation failed: ") + e.what(),
                  QStringLiteral("Die Synchronisation ist fehlgeschlagen:\n") + FailureTextGerman(e));
    // A dial that failed to start this way is not left to run on.
    if (dialling_) EndDial(QStringLiteral(" Nicht verbunden"));
  }
  const bool noMode = !F.ModeDialUp && !F.ModeSocks5 && !F.ModeLAN;
  // An unattended run that cannot do anything says why it ends without setting the clock.
  if (noMode && F.AutoMode) {
    Log("Synchronisation not started: no connection mode is selected.");
    Say(QStringLiteral("Es ist keine Verbindungsart ausgewählt; die Systemzeit wurde nicht gesetzt."));
  }
  // A stop signal ended the run early: a line still being dialled is hung up.
  if (F.AutoMode && Stopping()) {
    if (dialling_) EndDial(QStringLiteral(" Nicht verbunden"));
    LogStop(kv::ui::StopSignal());
  }
  // Also after a run that could not start: the automatic mode's log always gets its footer.
  AddFooter();
  inSync_ = false;
  // A dial under way ends the run later: after its hang-up or its failure.
  if (!dialling_) run_.reset();
}

bool TMainForm::DialUpBlock() {
  if (ui->efConnections->count() == 0) {
    kv::ui::ShowWarning(
        this, QStringLiteral("Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an."));
    Log("DUN dialing not started: no dial-up connection is set up.");
    return false;
  }
  const QString entry = ui->efConnections->currentText();
  Log("DUN mode selected. Dialing " + Esc(entry) + ".");
  DialUp1->Entry = Text(entry);
  DialUp1->DialMode = net::TDialMode::dmAsync;
  dialling_ = true;
  if (F.AutoMode) DialDeadline->start(Hooks.DialDeadlineMs);
  // A dial that cannot start reports through DialUp1Error before Dial returns.
  if (DialUp1->Dial() != 0) dialling_ = false;
  Log("DUN dialing started...");
  return true;
}

bool TMainForm::Socks5Block() {
  std::unique_ptr<net::TSNTPSend> client = NewClient();
  net::TUDPBlockSocket &sock = client->Sock();
  sock.SocksResolver = false;
  if (!ui->efUser->text().isEmpty()) {
    sock.SocksUsername = Text(ui->efUser->text());
    sock.SocksPassword = Text(ui->efPassword->text());
  }
  if (ui->efIP->text().isEmpty()) {
    kv::ui::ShowError(this, QStringLiteral("Bitte geben Sie die IP-Adresse des Socks-Proxy an."));
    Log("SOCKS5 mode not started: no proxy address given.");
    return false;
  }
  if (ui->efPort->text().isEmpty()) {
    kv::ui::ShowError(this, QStringLiteral("Bitte geben Sie den Port des Socks-Proxy an."));
    Log("SOCKS5 mode not started: no proxy port given.");
    return false;
  }
  sock.SocksIP = Text(ui->efIP->text());
  sock.SocksPort = Text(ui->efPort->text());
  client->TargetHost = Text(ui->efAddress->text());
  Log("SOCKS5 mode selected.");
  Log("SOCKS5 server " + Esc(ui->efIP->text()) + " port " + Esc(ui->efPort->text()) + " is used.");
  const TBlockingRun::TWait wait(ui->btnSync);
  client->SyncTime = false;
  client->MaxSyncDiff = kMaxSyncDiff;
  WarmUp(*client);
  if (Stopping()) return false;
  client->Timeout = Millis(F.Auto.ATimeout);
  client->SyncTime = true;
  const TQueryResult result = QueryStep(std::move(client));
  if (F.AutoMode && F.Auto.ANetMessage && result.Answered && !Stopping())
    SendNotice(TNoticeRoute::Socks5, result);
  return true;
}

void TMainForm::LANBlock() {
  const TBlockingRun::TWait wait(ui->btnSync);
  std::unique_ptr<net::TSNTPSend> client = NewClient();
  client->TargetHost = Text(ui->efAddress->text());
  client->SyncTime = false;
  Log("LAN mode selected.");
  client->MaxSyncDiff = kMaxSyncDiff;
  // Interactive queries keep the client's own time-out.
  if (F.AutoMode) {
    WarmUp(*client);
    if (Stopping()) return;
    client->Timeout = Millis(F.Auto.ATimeout);
  }
  client->SyncTime = true;
  const TQueryResult result = QueryStep(std::move(client));
  if (F.AutoMode && F.Auto.ANetMessage && result.Answered && !Stopping())
    SendNotice(TNoticeRoute::LAN, result);
}

std::unique_ptr<net::TSNTPSend> TMainForm::NewClient() {
  auto client = std::make_unique<net::TSNTPSend>();
  client->TargetPort = Hooks.NtpPort;
  // A stop signal ends the query's waits at once.
  client->Sock().StopSource = &kv::ui::StopRequest();
  return client;
}

bool TMainForm::Request(net::TSNTPSend &client) {
  if (Hooks.BeforeRequest) Hooks.BeforeRequest(client);
  return client.RequestTime();
}

// Queries whose answers are ignored, one second apart, with the clock left alone; they use the
// client's time-out as it stands. A proxy that accepted the connection and then failed (silent,
// refusing, answering wrongly) would fail each of them alike: the real query follows at once and
// reports it.
void TMainForm::WarmUp(net::TSNTPSend &client) {
  for (int64_t i = 0; i <= static_cast<int64_t>(F.Auto.ATimeout) && !Stopping(); ++i) {
    Request(client);
    if (Stopping() || client.Sock().AssociationFailedAtProxy()) break;
    if (Hooks.Pause)
      Hooks.Pause(1000);
    else
      kv::ui::PauseUnlessStopped(1000);
  }
}

// The client is freed however the step ends.
TQueryResult TMainForm::QueryStep(std::unique_ptr<net::TSNTPSend> client) {
  TQueryResult result;
  ui->ofSystemTime->setText(QStringLiteral(" ") + Q(platform::DateTimeToStr(net::GetUtcNow())) +
                            QStringLiteral(" UTC"));
  if (Request(*client)) {
    Log("NTP Sync started with " + Esc(ui->efAddress->text()) + "... ");
    result.ServerTime = WholeMillis(client->NTPTime());
    const std::string t = platform::DateTimeToStr(result.ServerTime);
    ui->ofNTPTime->setText(QStringLiteral(" ") + Q(t) + QStringLiteral(" UTC"));
    Log("NTP time was " + t + " UTC.");
    result.Answered = true;
    // No round trip takes less than no time: a delay below 0 is the server's timestamp noise,
    // shown as 0 (and never as "-0,00000").
    const std::string delay = FixedText(std::max(0.0, client->NTPDelay()), 6, 5);
    ShowStatus(QStringLiteral("Delay ") + Q(delay) + QStringLiteral(" s"));
    Log("NTP delay was " + delay + " s.");
    result.ClockSet = client->ClockSetResult() == net::TClockSetResult::Set;
    if (result.ClockSet)
      clockSet_ = true;
    else
      result.NotSetReason = ReportClockNotSet(*client);
  } else {
    ui->ofNTPTime->setText(QStringLiteral(" Nicht verbunden"));
    // A query cut short by a stop signal is no failure of the server.
    if (!Stopping()) {
      const TQueryFailure cause = QueryFailureCause(*client);
      kv::ui::ShowError(this, QStringLiteral("Der Server ") + ShownSetting(client->TargetHost) +
                                  QStringLiteral(" konnte nicht erreicht werden.\n") + cause.User);
      Log("NTP connection failed!");
      Log(cause.Log);
    }
  }
  client.reset();
  return result;
}

// An answer that did not set the clock is no success: the log and the user learn why. Returns
// the reason in German.
QString TMainForm::ReportClockNotSet(const net::TSNTPSend &client) {
  std::string reason;
  QString grund;
  switch (client.ClockSetResult()) {
  case net::TClockSetResult::OffsetTooLarge:
    reason = "offset of " + EnglishFixed(client.NTPOffset(), 3) + " s exceeds the limit of 604800 s.";
    grund = QStringLiteral("Die Abweichung von ") + Q(platform::FloatToStrF(client.NTPOffset(), 3)) +
            QStringLiteral(" s ist größer als die erlaubten 604800 s (sieben Tage).");
    break;
  case net::TClockSetResult::Refused: {
    const int err = client.ClockSetError();
    if (err == EPERM) {
      reason = "the system refused the change (" + EnglishErrnoText(err) +
               "); korvan needs root or the capability cap_sys_time.";
      grund = QStringLiteral("Das Betriebssystem hat die Änderung abgelehnt: Es fehlt die Berechtigung "
                             "(korvan braucht Root-Rechte oder die Fähigkeit cap_sys_time).");
    } else {
      reason = "the system refused the change (" + EnglishErrnoText(err) + ").";
      grund = QStringLiteral("Das Betriebssystem hat die Änderung abgelehnt (") + Q(std::strerror(err)) +
              QStringLiteral(").");
    }
    break;
  }
  default:
    reason = "the clock was not asked to change.";
    grund = QStringLiteral("Die Uhr wurde nicht verstellt.");
    break;
  }
  ReportFailure("System clock not set: " + reason,
                QStringLiteral("Die Systemzeit wurde nicht gesetzt.\n") + grund);
  return grund;
}

// The notice says the clock was updated only when it was; otherwise it says why not.
bool TMainForm::SendNotice(TNoticeRoute route, const TQueryResult &result) {
  Log("SMTP mail active.");
  const std::string timeText = platform::DateTimeToStr(result.ServerTime);
  const std::string body = result.ClockSet
                               ? NoticeBody(timeText, Text(F.ComputerName), Text(ui->efAddress->text()))
                               : NotSetNoticeBody(timeText, Text(F.ComputerName), Text(ui->efAddress->text()),
                                                  Text(result.NotSetReason));
  // A fresh client for every notice: no proxy, login or other setting carries over.
  net::TSmtpClient smtp;
  smtp.HeloName = Text(F.ComputerName);
  smtp.StopSource = &kv::ui::StopRequest();
  try {
    if (route == TNoticeRoute::Socks5) {
      const auto port = ParsePort(Text(ui->efPort->text()));
      if (!port)
        throw ENoticeError("SOCKS5 proxy port \"" + Quoted(ui->efPort->text()) +
                               "\" is not a number from 1 to 65535",
                           "Der Port des SOCKS5-Proxy \"" + Quoted(ui->efPort->text()) +
                               "\" ist keine Zahl von 1 bis 65535.");
      smtp.SocksIP = Text(ui->efIP->text());
      smtp.SocksPort = std::to_string(*port);
      if (!ui->efUser->text().isEmpty()) {
        smtp.SocksUsername = Text(ui->efUser->text());
        smtp.SocksPassword = Text(ui->efPassword->text());
      }
    }
    TNoticeHeaders headers;
    headers.Sender = Text(F.Auto.ANetSender);
    CheckAddress(headers.Sender, TAddressRole::Sender);
    headers.Recipients = ParseRecipients(Text(F.Auto.ANetRecipient));
    headers.MessageId = Text(GetMsgId());
    headers.Date = MailDateOf(platform::CurrentClock().Now().seconds);
    const std::string message = ComposeNotice(headers, body);

    const bool login = !F.Auto.ASMTPUser.isEmpty() && !F.Auto.ASMTPPassword.isEmpty();
    if (login) {
      smtp.Username = Text(F.Auto.ASMTPUser);
      smtp.Password = Text(F.Auto.ASMTPPassword);
    }
    const auto port = ParsePort(Text(F.Auto.ASMTPPort));
    if (!port)
      throw ENoticeError("SMTP port \"" + Quoted(F.Auto.ASMTPPort) + "\" is not a number from 1 to 65535",
                         "Der SMTP-Port \"" + Quoted(F.Auto.ASMTPPort) +
                             "\" ist keine Zahl von 1 bis 65535.");
    smtp.Host = Text(F.Auto.ASMTPServer);
    smtp.Port = std::to_string(*port);

    const std::string connecting =
        "SMTP connecting host " + Esc(F.Auto.ASMTPServer) + " Port " + Esc(F.Auto.ASMTPPort) + "...";
    if (route == TNoticeRoute::DialUp) Log(connecting);
    smtp.Connect();
    if (route != TNoticeRoute::DialUp) Log(connecting);
    try {
      if (login && smtp.Offers("LOGIN")) {
        smtp.Authenticate();
        Log("SMTP authenticating...");
      }
      smtp.Send(headers.Sender, headers.Recipients, message);
      Log("SMTP sending mail to " + Esc(F.Auto.ANetRecipient) + "...");
    } catch (...) {
      smtp.Disconnect();
      Log("SMTP disconnected.");
      throw;
    }
    smtp.Disconnect();
    Log("SMTP disconnected.");
    return true;
  } catch (const std::exception &e) {
    ReportFailure(std::string("SMTP mail failed: ") + e.what(),
                  QStringLiteral("Die E-Mail-Benachrichtigung konnte nicht gesendet werden:\n") +
                      FailureTextGerman(e));
    return false;
  }
}

void TMainForm::TimerTimer() {
  Timer->stop();
  // The poll goes on however this tick ends.
  struct Restart {
    QTimer *timer;
    ~Restart() { timer->start(); }
  } restart{Timer};
  // After a stop signal the stop ends the run, not a query.
  if (DialUp1->ConnectionState != net::RASCS_Connected || Stopping()) return;

  dialling_ = false;
  DialDeadline->stop();
  // A line found up without a dial of this window's is queried all the same, as a run of its own.
  if (!run_) run_ = std::make_unique<TBlockingRun>(ui->btnSync);
  {
    const TBlockingRun::TWait wait(ui->btnSync);
    try {
      ui->ofDUNStatus->setText(QStringLiteral(" Verbunden"));
      std::unique_ptr<net::TSNTPSend> client = NewClient();
      Log("DUN connection established.");
      client->TargetHost = Text(ui->efAddress->text());
      Log("NTP target host: " + Esc(ui->efAddress->text()));
      client->SyncTime = true;
      client->MaxSyncDiff = kMaxSyncDiff;
      client->Timeout = Millis(F.Auto.ATimeout);
      const TQueryResult result = QueryStep(std::move(client));
      if (F.AutoMode && F.Auto.ANetMessage && result.Answered && !Stopping())
        SendNotice(TNoticeRoute::DialUp, result);
    } catch (const std::exception &e) {
      ReportFailure(std::string("Synchronisation failed: ") + e.what(),
                    QStringLiteral("Die Synchronisation ist fehlgeschlagen:\n") + FailureTextGerman(e));
    }
    // Whatever happened above, the line is hung up and the automatic mode ends.
    ShowStatus({});
    HangUpLine(QStringLiteral(" Nicht verbunden"));
  }
  Log("DUN disconnected.");
  if (F.AutoMode && Stopping()) LogStop(kv::ui::StopSignal());
  if (F.AutoMode && F.Auto.ALogging) AddFooter();
  EndAutomaticRun();
  run_.reset();
}

void TMainForm::DialUp1Dialing(net::TDialUp *) {
  ui->ofDUNStatus->setText(QStringLiteral(" Wähle..."));
  kv::ui::Application().ProcessMessages();
}

void TMainForm::DialUp1NotConnected(net::TDialUp *, int, const std::string &) {
  ui->ofDUNStatus->setText(QStringLiteral(" Nicht verbunden"));
}

void TMainForm::DialUp1AsyncEvent(net::TDialUp *, int, int Error, const std::string &MessageText) {
  ShowStatus(Q(MessageText));
  if (Error == 0) return;
  // A failed dial may still hold the line (or the modem): it is released.
  EndDial(QStringLiteral(" Fehler. Bitte erneut versuchen."));
  if (F.AutoMode)
    AbortAutomaticRun("DUN dialing failed: " + DialErrorTextEnglish(Error, MessageText) + " (error " +
                          std::to_string(Error) + ").",
                      QStringLiteral("Die Einwahl ist fehlgeschlagen: ") + Q(MessageText) +
                          QStringLiteral(" (Fehler %1)").arg(Error));
  else
    kv::ui::ShowError(this, Q(MessageText));
}

void TMainForm::DialUp1Error(net::TDialUp *, int ErrorCode, const std::string &ErrorMessage) {
  ShowStatus({});
  EndDial(QStringLiteral(" Fehler"));
  AbortAutomaticRun("DUN dialing failed: " + DialErrorTextEnglish(ErrorCode, ErrorMessage) + " (error " +
                        std::to_string(ErrorCode) + ").",
                    QStringLiteral("Die Einwahl ist fehlgeschlagen: ") + DialErrorTextGerman(ErrorCode) +
                        QStringLiteral(" (Fehler %1)").arg(ErrorCode));
}

void TMainForm::DialTimedOut() {
  if (!F.AutoMode || !dialling_) return;
  ShowStatus({});
  EndDial(QStringLiteral(" Nicht verbunden"));
  const int ms = Hooks.DialDeadlineMs;
  const std::string seconds = ms % 1000 == 0 ? std::to_string(ms / 1000) : EnglishFixed(ms / 1000.0, 1);
  AbortAutomaticRun(
      "DUN dialing timed out after " + seconds + " s.",
      QStringLiteral("Die Einwahl hat nach %1 s weder eine Verbindung noch einen Fehler gemeldet "
                     "und wurde abgebrochen.")
          .arg(Q(platform::FloatToStrF(ms / 1000.0, ms % 1000 == 0 ? 0 : 1))));
}

void TMainForm::EndDial(const QString &status) {
  dialling_ = false;
  DialDeadline->stop();
  HangUpLine(status);
  // Inside NTPSync the run ends with it.
  if (!inSync_) run_.reset();
}

void TMainForm::HangUpLine(const QString &status) {
  DialUp1->ConnectionState = net::RASCS_Disconnected;
  DialUp1->HangUp();
  ui->ofDUNStatus->setText(status);
}

void TMainForm::StartRunLog() {
  logging::TFastLog *log = logging::GlobalLog();
  if (!log) return;
  // A default folder is made on first need (mode 0700: the log names servers and addresses);
  // a folder the user typed is used as typed.
  int folderError = 0;
  QString folder = F.Auto.ALoggingPath;
  if (IsDefaultLoggingPath(folder, kv::ui::Application().ProgramDirectory())) {
    // Made and used as judged, with "." and ".." resolved in the text: "a/b/../korvane/log/" must
    // not leave a stray "a/b" behind.
    folder = QDir::cleanPath(folder) + QLatin1Char('/');
    folderError = platform::MakeDirectories(Text(folder));
  }
  logging::TFLFileDef &def = log->Writer().FileDef();
  def.SetPath(Text(folder));
  def.SetBackupCount(F.Auto.ALoggingCount & 0xFFFF);
  def.BaseName = "korvanlog";
  const bool open = log->StartLogging();
  if (!open) {
    const QString why = folderError ? QStringLiteral(" (der Ordner ließ sich nicht anlegen: %1)")
                                          .arg(Q(platform::ErrorTextGerman(folderError)))
                                    : QString();
    kv::ui::ShowError(this, QStringLiteral("Die Protokolldatei im Ordner ") + ShownSetting(def.Path()) +
                                QStringLiteral(" konnte nicht angelegt werden") + why +
                                QStringLiteral("; der Lauf wird nicht protokolliert."));
  }
  log->AddStrings(log->Header());
  // Another run, or anyone, held the folder's lock for the whole wait: the run went on without
  // taking turns, which the numbering of the logs may show.
  if (open && def.LockWaitGaveUp())
    log->Add("The log folder's lock file " + LogSetting(def.LockName()) +
             " was held by another process for " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(def.FolderLockWait).count()) +
             " s; this run went on without it.");
}

void TMainForm::Log(const std::string &line) {
  if (!F.AutoMode || !F.Auto.ALogging) return;
  if (logging::TFastLog *log = logging::GlobalLog()) log->Add(line);
}

// The logger drops the footer when logging never started in this process.
void TMainForm::AddFooter() {
  if (logging::TFastLog *log = logging::GlobalLog()) log->AddStrings(log->Footer());
}

// After a stop signal nobody waits for a box: the failure is only logged.
void TMainForm::ReportFailure(const std::string &reason, const QString &message) {
  Log(EscapeLogText(reason));
  if (!Stopping()) kv::ui::ShowError(this, message);
}

bool TMainForm::Stopping() const {
  return kv::ui::StopSignal() != 0;
}

void TMainForm::Say(const QString &message) {
  platform::SayOnStandardError(message.toStdString());
}

// A dial of the automatic mode failed or timed out: the reason goes to the log and, in German,
// to standard error (nobody may be watching); the log gets its footer, and the window closes.
void TMainForm::AbortAutomaticRun(const std::string &reason, const QString &message) {
  if (!F.AutoMode || autoEnded_) return;
  Log(EscapeLogText(reason));
  Say(message);
  // Inside NTPSync its own footer step follows.
  if (!inSync_) AddFooter();
  EndAutomaticRun();
}

void TMainForm::LogStop(int signal) {
  if (stopLogged_) return;
  stopLogged_ = true;
  Log("Automatic run stopped by signal " + std::to_string(signal) + ".");
  Say(QStringLiteral("Der automatische Lauf wurde durch das Signal %1 beendet%2.")
          .arg(signal)
          .arg(clockSet_ ? QString() : QStringLiteral("; die Systemzeit wurde nicht gesetzt")));
}

void TMainForm::StopRequested(int signal) {
  if (F.AutoMode && !autoEnded_) {
    if (dialling_ || DialUp1->ConnectionState == net::RASCS_Connected)
      EndDial(QStringLiteral(" Nicht verbunden"));
    LogStop(signal);
    // Inside NTPSync its own footer step follows.
    if (!inSync_) AddFooter();
    EndAutomaticRun();
  }
  kv::ui::CloseLikeCloseBox(this);
}

void TMainForm::EndAutomaticRun() {
  if (!F.AutoMode || autoEnded_) return;
  autoEnded_ = true;
  DialDeadline->stop();
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

} // namespace kv::app

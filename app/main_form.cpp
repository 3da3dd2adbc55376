#include "app/main_form.h"

#include "ui_mainform.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "platform/registry.h"
#include "platform/system.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"

// The forms' pictures live in a static library; this pulls them into every program using it.
static void InitFormResources() {
  Q_INIT_RESOURCE(korvane);
  Q_INIT_RESOURCE(navbar);
}

namespace kv::app {

using platform::ERegistryException;
using platform::TRegistry;

namespace {

// Integer and Boolean values that are missing or of another type read as nothing, and the
// field keeps the value it had: a key created empty (the configuration tool creates "\Auto"
// and with it an empty parent) must not stop the window from loading the rest.
std::optional<int32_t> ReadInteger(const TRegistry &reg, const std::string &name) {
  try {
    return reg.ReadInteger(name);
  } catch (const ERegistryException &) {
    return std::nullopt;
  }
}

std::optional<bool> ReadBool(const TRegistry &reg, const std::string &name) {
  try {
    return reg.ReadBool(name);
  } catch (const ERegistryException &) {
    return std::nullopt;
  }
}

// A missing string reads as ""; one of another type reads as nothing.
std::optional<QString> ReadString(const TRegistry &reg, const std::string &name) {
  try {
    return QString::fromStdString(reg.ReadString(name));
  } catch (const ERegistryException &) {
    return std::nullopt;
  }
}

void Assign(QLineEdit *edit, std::optional<QString> value) {
  if (value) edit->setText(*value);
}

} // namespace

TMainForm::TMainForm(platform::Dispatcher &dispatcher, QStringList arguments,
                     std::unique_ptr<net::RasBackend> ras, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()), arguments_(std::move(arguments)) {
  InitFormResources();
  ui->setupUi(this);

  // Single border with only the system menu and the minimise box; centred on the screen.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(609, 441);
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }

  DialUp1 = ras ? std::make_unique<net::TDialUp>(dispatcher, std::move(ras))
                : std::make_unique<net::TDialUp>(dispatcher);
  DialUp1->DialMode = net::TDialMode::dmSync;
  DialUp1->Language = net::TLanguage::English;
  DialUp1->OnEntryGet = [this](net::TDialUp *s, const std::string &name) { DialUp1EntryGet(s, name); };
  DialUp1->OnDialing = [this](net::TDialUp *s) { DialUp1Dialing(s); };
  DialUp1->OnNotConnected = [this](net::TDialUp *s, int code, const std::string &text) {
    DialUp1NotConnected(s, code, text);
  };
  DialUp1->OnAsyncEvent = [this](net::TDialUp *s, int state, int error, const std::string &text) {
    DialUp1AsyncEvent(s, state, error, text);
  };
  DialUp1->OnError = [this](net::TDialUp *s, int code, const std::string &text) {
    DialUp1Error(s, code, text);
  };

  Timer = new QTimer(this);
  Timer->setInterval(1000);
  connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTimer);
  Timer->start();
  DialDeadline = new QTimer(this);
  DialDeadline->setSingleShot(true);
  connect(DialDeadline, &QTimer::timeout, this, &TMainForm::DialTimedOut);

  // The status bar's one panel: a permanent label at its right, so that a passing status tip (a
  // menu item under the pointer), shown to its left, neither hides nor wipes what the last run
  // showed.
  StatusText = new QLabel(ui->StatusBar);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  ui->StatusBar->addPermanentWidget(StatusText);

  connect(ui->optDUN, &QRadioButton::clicked, this, &TMainForm::optDUNClick);
  connect(ui->optSocks, &QRadioButton::clicked, this, &TMainForm::optSocksClick);
  connect(ui->optLAN, &QRadioButton::clicked, this, &TMainForm::optLANClick);
  connect(ui->btnSync, &QToolButton::clicked, this, &TMainForm::btnSyncClick);

  CreateNavigationPane();
  kv::ui::InstallHelpKey(this, HelpContext);
  FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate() {
  kv::ui::Application().SetHelpFile(kv::ui::Application().ProgramDirectory() + QStringLiteral("korvan.hlp"));

  // There is no system menu to extend here; the command goes into the window's context menu.
  auto *about = new QAction(QStringLiteral("Info über..."), this);
  about->setObjectName(QStringLiteral("actAbout"));
  connect(about, &QAction::triggered, this, [this] { ShowAboutOnSysCommand(kAboutCommand); });
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  ui->efConnections->clear();
  DialUp1->GetEntries();
}

void TMainForm::DialUp1EntryGet(net::TDialUp *, const std::string &EntryName) {
  ui->efConnections->addItem(QString::fromStdString(EntryName));
  ui->efConnections->setCurrentIndex(0);
}

void TMainForm::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TMainForm::FormShow() {
  F.ModeDialUp = true;
  F.TimeoutSeconds = 15;
  F.ComputerName = QString::fromStdString(platform::ComputerName());

  TRegistry reg;
  if (reg.OpenKeyReadOnly(kInteractiveKey)) ReadInteractiveKey(reg);
  reg.CloseKey();

  if (arguments_.isEmpty() || (arguments_[0] != QLatin1String("/a") && arguments_[0] != QLatin1String("/A")))
    return;
  setWindowTitle(QStringLiteral("Korvane  * Automatik-Modus *"));
  F.AutoMode = true;
  TAutoSettings values = AutoSettingsNow();
  if (ReadAutoSettings(reg, values)) ApplyAutoSettings(values);
  reg.CloseKey();
  NTPSync();
  // A dial under way ends the run from the poll timer, its error reports or its deadline;
  // every other run, also one that could not start, has ended here.
  if (!dialling_) EndAutomaticRun();
}

void TMainForm::ReadInteractiveKey(const TRegistry &reg) {
  ApplyConnection(ReadInteger(reg, "Connection"));
  Assign(ui->efAddress, ReadString(reg, "Server"));
  ApplyModeAndProxy({ReadBool(reg, "UseRAS"), ReadBool(reg, "UseSocks5"), ReadBool(reg, "UseLAN"),
                     ReadString(reg, "SocksIP"), ReadString(reg, "SocksPort"),
                     ReadString(reg, "SocksUsername"), ReadString(reg, "SocksPassword")});
}

// The automatic settings as the window holds them before reading its key: what the key lacks,
// or holds with another type, keeps its value; the logging values have defaults of their own.
TAutoSettings TMainForm::AutoSettingsNow() const {
  TAutoSettings values;
  values.AConnection = ui->efConnections->currentIndex();
  values.ATimeout = F.TimeoutSeconds;
  values.AServer = ui->efAddress->text();
  values.ANetMessage = F.MailEnabled;
  values.ANetRecipient = F.MailRecipient;
  values.ANetSender = F.MailSender;
  values.ASMTPServer = F.SmtpServer;
  values.ASMTPPort = F.SmtpPort;
  values.ASMTPUser = F.SmtpUser;
  values.ASMTPPassword = F.SmtpPassword;
  values.AUseRas = F.ModeDialUp;
  values.AUseSocks5 = F.ModeSocks5;
  values.AUseLAN = F.ModeLAN;
  values.ASocksIP = ui->efIP->text();
  values.ASocksPort = ui->efPort->text();
  values.ASocksUsername = ui->efUser->text();
  values.ASocksPassword = ui->efPassword->text();
  values.ALoggingPath = kv::ui::Application().ProgramDirectory() + QStringLiteral("log/");
  return values;
}

// The automatic settings in the window's order.
void TMainForm::ApplyAutoSettings(const TAutoSettings &v) {
  ApplyConnection(v.AConnection);
  F.TimeoutSeconds = std::min(v.ATimeout, kMaxTimeoutSeconds);
  if (v.ATimeout > kMaxTimeoutSeconds) cappedTimeout_ = v.ATimeout;
  ui->efAddress->setText(v.AServer);
  F.MailEnabled = v.ANetMessage;
  F.MailRecipient = v.ANetRecipient;
  F.MailSender = v.ANetSender;
  F.SmtpServer = v.ASMTPServer;
  F.SmtpPort = v.ASMTPPort;
  F.SmtpUser = v.ASMTPUser;
  F.SmtpPassword = v.ASMTPPassword;
  ApplyModeAndProxy(
      {v.AUseRas, v.AUseSocks5, v.AUseLAN, v.ASocksIP, v.ASocksPort, v.ASocksUsername, v.ASocksPassword});
  F.LoggingEnabled = v.ALogging;
  F.LoggingPath = v.ALoggingPath;
  F.LoggingCount = v.ALoggingCount;
}

// The three mode switches in this order (with several on, the last one wins), then the proxy's
// fields; a value not given changes nothing.
void TMainForm::ApplyModeAndProxy(const TModeAndProxy &v) {
  ApplyMode(F.ModeDialUp, ui->optDUN, v.UseRas);
  ApplyMode(F.ModeSocks5, ui->optSocks, v.UseSocks5);
  ApplyMode(F.ModeLAN, ui->optLAN, v.UseLAN);
  Assign(ui->efIP, v.SocksIP);
  Assign(ui->efPort, v.SocksPort);
  Assign(ui->efUser, v.SocksUsername);
  Assign(ui->efPassword, v.SocksPassword);
}

void TMainForm::ApplyConnection(std::optional<int32_t> index) {
  if (!index) return;
  const bool inRange = *index >= 0 && *index < ui->efConnections->count();
  DialUp1->Entry = inRange ? ui->efConnections->itemText(*index).toStdString() : std::string();
  ui->efConnections->setCurrentIndex(inRange ? *index : -1);
}

void TMainForm::ApplyMode(bool &flag, QRadioButton *button, std::optional<bool> value) {
  if (!value) return;
  flag = *value;
  SetRadioChecked(button, *value);
}

// Checking a button that was not checked unchecks the others and runs its click handler;
// unchecking one runs nothing. Qt refuses to uncheck the checked button of an exclusive
// group, so exclusivity is lifted for that moment: all three may end unchecked.
void TMainForm::SetRadioChecked(QRadioButton *button, bool checked) {
  if (checked == button->isChecked()) return;
  if (!checked) {
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
    return;
  }
  button->setChecked(true);
  if (button == ui->optDUN)
    optDUNClick();
  else if (button == ui->optSocks)
    optSocksClick();
  else if (button == ui->optLAN)
    optLANClick();
}

void TMainForm::EnableConnectionControls(bool dialUp, bool socks) {
  for (QWidget *w : {static_cast<QWidget *>(ui->efConnections), static_cast<QWidget *>(ui->ofDUNStatus),
                     static_cast<QWidget *>(ui->Label2)})
    w->setEnabled(dialUp);
  for (QWidget *w : {static_cast<QWidget *>(ui->Label1), static_cast<QWidget *>(ui->Label6),
                     static_cast<QWidget *>(ui->Label7), static_cast<QWidget *>(ui->Label8),
                     static_cast<QWidget *>(ui->efIP), static_cast<QWidget *>(ui->efPort),
                     static_cast<QWidget *>(ui->efUser), static_cast<QWidget *>(ui->efPassword)})
    w->setEnabled(socks);
}

void TMainForm::optDUNClick() {
  EnableConnectionControls(true, false);
  F.ModeDialUp = true;
  F.ModeSocks5 = false;
  F.ModeLAN = false;
}

void TMainForm::optSocksClick() {
  EnableConnectionControls(false, true);
  F.ModeDialUp = false;
  F.ModeSocks5 = true;
  F.ModeLAN = false;
}

void TMainForm::optLANClick() {
  EnableConnectionControls(false, false);
  F.ModeDialUp = false;
  F.ModeSocks5 = false;
  F.ModeLAN = true;
}

void TMainForm::ShowStatus(const QString &text) {
  StatusText->setText(text);
}

void TMainForm::btnSyncClick() {
  NTPSync();
}

void TMainForm::closeEvent(QCloseEvent *event) {
  FormClose();
  event->accept();
  emit Closed();
}

void TMainForm::FormClose() {
  if (!F.AutoMode) WriteInteractiveKey();
  // The help viewer is a program of its own here; there is nothing to tell it to quit.
}

// The ten values as one change: a program reading the key meanwhile sees the old set or the new.
void TMainForm::WriteInteractiveKey() {
  try {
    platform::TRegValues values;
    values.String("ProgramDirectory", kv::ui::Application().ProgramDirectory().toStdString())
        .Integer("Connection", ui->efConnections->currentIndex())
        .String("Server", ui->efAddress->text().toStdString())
        .Bool("UseRas", ui->optDUN->isChecked())
        .Bool("UseSocks5", ui->optSocks->isChecked())
        .Bool("UseLAN", ui->optLAN->isChecked())
        .String("SocksIP", ui->efIP->text().toStdString())
        .String("SocksPort", ui->efPort->text().toStdString())
        .String("SocksUsername", ui->efUser->text().toStdString())
        .String("SocksPassword", ui->efPassword->text().toStdString());
    TRegistry().WriteValues(kInteractiveKey, values);
  } catch (const ERegistryException &e) {
    kv::ui::ShowError(this, QStringLiteral("Die Einstellungen konnten nicht gespeichert werden.\n") +
                                QString::fromStdString(e.what()));
  }
}

} // namespace kv::app

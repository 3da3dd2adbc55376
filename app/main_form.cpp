#include "app/main_form.h"

#include "ui_mainform.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "app/blocking_run.h"
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
  // The window has no size grip, so the text would touch its right edge.
  StatusText->setContentsMargins(0, 0, 6, 0);
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
  // The automatic values a key may lack: 15 s, no mail, no log, the default log folder. The
  // window knows no mail port of its own.
  F.Auto = TAutoSettings{};
  F.Auto.ASMTPPort.clear();
  F.Auto.ALoggingPath = DefaultLoggingPath(kv::ui::Application().ProgramDirectory());
  F.ComputerName = QString::fromStdString(platform::ComputerName());

  TRegistry reg;
  if (reg.OpenKeyReadOnly(kInteractiveKey)) ReadInteractiveKey(reg);
  reg.CloseKey();

  if (arguments_.isEmpty() || (arguments_[0] != QLatin1String("/a") && arguments_[0] != QLatin1String("/A")))
    return;
  setWindowTitle(QStringLiteral("Korvane  * Automatik-Modus *"));
  F.AutoMode = true;
  // What the key lacks, or holds with another type, keeps the value the window has.
  TAutoSettings values = F.Auto;
  ExchangeShownValues(values, false);
  if (ReadAutoSettings(reg, values)) ApplyAutoSettings(values);
  reg.CloseKey();
  NTPSync();
  // A dial under way ends the run from the poll timer, its error reports or its deadline;
  // every other run, also one that could not start, has ended here.
  if (!dialling_) EndAutomaticRun();
}

// The interactive key holds the values the window shows in controls, named as in the automatic
// key without its "A". Integer and Boolean values that are missing or of another type keep the
// control's value: a key created empty (the configuration tool creates "\Auto" and with it an
// empty parent) must not stop the window from loading the rest.
void TMainForm::ReadInteractiveKey(const TRegistry &reg) {
  TAutoSettings v = F.Auto;
  ExchangeShownValues(v, false);
  ReadSetting(reg, "Connection", v.AConnection);
  ReadSetting(reg, "Server", v.AServer);
  ReadSetting(reg, "UseRAS", v.AUseRas);
  ReadSetting(reg, "UseSocks5", v.AUseSocks5);
  ReadSetting(reg, "UseLAN", v.AUseLAN);
  ReadSetting(reg, "SocksIP", v.ASocksIP);
  ReadSetting(reg, "SocksPort", v.ASocksPort);
  ReadSetting(reg, "SocksUsername", v.ASocksUsername);
  ReadSetting(reg, "SocksPassword", v.ASocksPassword);
  ExchangeShownValues(v, true);
}

void TMainForm::ApplyAutoSettings(const TAutoSettings &values) {
  F.Auto = values;
  const int32_t timeout =
      std::clamp(values.ATimeout, values.ATimeout == 0 ? 0 : kMinTimeoutSeconds, kMaxTimeoutSeconds);
  if (timeout != values.ATimeout) unboundedTimeout_ = values.ATimeout;
  F.Auto.ATimeout = timeout;
  ExchangeShownValues(F.Auto, true);
}

// The mode switches in this order: with several on, the last one wins.
void TMainForm::ExchangeShownValues(TAutoSettings &v, bool show) {
  auto edit = [show](QLineEdit *edit, QString &value) {
    if (show)
      edit->setText(value);
    else
      value = edit->text();
  };
  auto mode = [this, show](bool &flag, QRadioButton *button, bool &value) {
    if (show)
      ApplyMode(flag, button, value);
    else
      value = flag;
  };
  if (show)
    ApplyConnection(v.AConnection);
  else
    v.AConnection = ui->efConnections->currentIndex();
  edit(ui->efAddress, v.AServer);
  mode(F.ModeDialUp, ui->optDUN, v.AUseRas);
  mode(F.ModeSocks5, ui->optSocks, v.AUseSocks5);
  mode(F.ModeLAN, ui->optLAN, v.AUseLAN);
  edit(ui->efIP, v.ASocksIP);
  edit(ui->efPort, v.ASocksPort);
  edit(ui->efUser, v.ASocksUsername);
  edit(ui->efPassword, v.ASocksPassword);
}

void TMainForm::ApplyConnection(int32_t index) {
  const bool inRange = index >= 0 && index < ui->efConnections->count();
  DialUp1->Entry = inRange ? ui->efConnections->itemText(index).toStdString() : std::string();
  ui->efConnections->setCurrentIndex(inRange ? index : -1);
}

void TMainForm::ApplyMode(bool &flag, QRadioButton *button, bool value) {
  flag = value;
  SetRadioChecked(button, value);
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

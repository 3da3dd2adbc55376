#include "app/config_form.h"

#include "ui_configform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTabBar>
#include <algorithm>
#include <cmath>
#include <unistd.h>

#include "app/main_form.h"
#include "net/ras_phonebook.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"

// The dialog's pictures live in a static library; this pulls them into every program using it.
static void InitConfigResources() {
  Q_INIT_RESOURCE(korvane);
  Q_INIT_RESOURCE(configform);
}

namespace kv::app {

TConfigForm *ConfigForm = nullptr;

using platform::ERegistryException;
using platform::TRegistry;

namespace {

class TPhoneBookListing : public net::RasBackend {
public:
  explicit TPhoneBookListing(std::string directory) : book_(std::move(directory)) {}
  int EnumEntries(std::vector<std::string> &entries) override { return book_.List(entries); }
  int GetEntryDialParams(net::RasDialParams &, bool &) override {
    return net::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  int Dial(const net::RasDialParams &, net::RasNotifier, net::RasConnHandle &) override {
    return net::ERROR_PORT_NOT_AVAILABLE;
  }
  int HangUp(net::RasConnHandle) override { return net::ERROR_INVALID_HANDLE; }

private:
  net::TPppPhoneBook book_;
};

using SpinEdit = edits::TKvSpinEdit;

// The two spin edits as the form description sets them: whole numbers, an up-down at the side,
// and the value kept between the bounds whenever it is set.
void LoadSpinEdit(SpinEdit *edit, double min, double max, double value) {
  edits::TKvSpinEditProperties p;
  p.ButtonKind = edits::bkStandard;
  p.Decimal = 0;
  p.MaxValue = max;
  if (min != 0) p.MinValue = min;
  p.Value = value;
  edit->LoadProperties(p);
}

TSpinEntry SpinEntry(const SpinEdit *edit) {
  return {edit->Text(), edit->TryValue()};
}

// The whole number the spin edit holds (its minimum when the text holds none).
int32_t SpinWholeValue(const SpinEdit *edit) {
  const double v = std::clamp(edit->Value(), double(INT32_MIN), double(INT32_MAX));
  return static_cast<int32_t>(std::lround(v));
}

// A German reason for a failed start.
QString StartFailure(const platform::ShellResult &r) {
  switch (r.error) {
  case ENOENT:
    return QStringLiteral("Die Datei ist nicht vorhanden.");
  case EACCES:
    return QStringLiteral("Die Datei darf nicht ausgeführt werden.");
  default:
    return QStringLiteral("Fehler: ") + QString::fromStdString(r.Describe());
  }
}

} // namespace

std::unique_ptr<net::RasBackend> PhoneBookListing(const std::string &directory) {
  return std::make_unique<TPhoneBookListing>(directory);
}

TConfigForm::TConfigForm(QWidget *parent, const QString &programDirectory,
                         std::unique_ptr<net::RasBackend> ras)
    : QDialog(parent), ui(std::make_unique<Ui::TConfigForm>()),
      programDirectory_(programDirectory.isEmpty() ? kv::ui::Application().ProgramDirectory()
                                                   : programDirectory) {
  InitConfigResources();
  ui->setupUi(this);
  LoadSpinEdit(ui->efTimeout, 0, 120, 15);
  LoadSpinEdit(ui->efAnzahl, 1, 99, 5);
  // The log folder: the system's folder dialog, with the options a framework dialog would use.
  ui->efDirectory->SetDialogKind(edits::dkWin32);
  ui->efDirectory->SetDialogText(QStringLiteral("Bitte wählen Sie das Protokollverzeichnis aus:"));
  ui->efDirectory->SetDialogOptions(kv::ui::sdAllowCreate | kv::ui::sdPerformCreate | kv::ui::sdPrompt);
  ui->efDirectory->SetButtonFlat(false);
  ui->efDirectory->SetNumGlyphs(1);
  ui->efDirectory->SetButtonWidth(20);
  ui->efDirectory->SetHelpContext(40);
  // Single border with the system menu only; centred on the desktop.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  // 384 x 368 holds the dialog at the font it was laid out for; a desktop whose font needs more
  // room gets a dialog just large enough to show every tab title and field whole.
  ui->PageControl1->setMinimumWidth(ui->PageControl1->tabBar()->sizeHint().width() + 4);
  setFixedSize(minimumSizeHint().expandedTo(QSize(384, 368)));
  if (QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  DialUp1 = std::make_unique<net::TDialUp>(dispatcher_, ras ? std::move(ras) : PhoneBookListing());
  DialUp1->DialMode = net::TDialMode::dmAsync;
  DialUp1->Language = net::TLanguage::English;
  DialUp1->OnEntryGet = [this](net::TDialUp *s, const std::string &name) { DialUp1EntryGet(s, name); };

  // A radio button's handler runs when it becomes checked, by a click or by the program; a
  // check box's whenever its state changes.
  connect(ui->optDUN, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optDUNClick();
  });
  connect(ui->optSocks5, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optSocks5Click();
  });
  connect(ui->optLAN, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optLANClick();
  });
  connect(ui->chkNetMessages, &QCheckBox::toggled, this, &TConfigForm::chkNetMessagesClick);
  connect(ui->chkLogfile, &QCheckBox::toggled, this, &TConfigForm::chkLogfileClick);
  connect(ui->btnOK, &QPushButton::clicked, this, &TConfigForm::btnOKClick);
  connect(ui->btnCancel, &QPushButton::clicked, this, &TConfigForm::btnCancelClick);
  connect(ui->btnPlanner, &QPushButton::clicked, this, &TConfigForm::btnPlannerClick);

  // F1 opens the help topic of the focused control's tab, or the dialog's.
  kv::ui::InstallHelpKey(this, HelpContext);
  FormCreate();
  ConfigForm = this;
}

TConfigForm::~TConfigForm() {
  if (ConfigForm == this) ConfigForm = nullptr;
}

void TConfigForm::FormCreate() {
  DialUp1->GetEntries();
}

void TConfigForm::DialUp1EntryGet(net::TDialUp *, const std::string &EntryName) {
  ui->efConnections->addItem(QString::fromStdString(EntryName));
  ui->efConnections->setCurrentIndex(0);
}

void TConfigForm::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TConfigForm::FormShow() {
  ui->efConnections->setEnabled(true);
  for (QWidget *w : {ui->efIP, ui->efPort, ui->efUser, ui->efPassword})
    w->setEnabled(false);
  ui->chkLogfile->setChecked(false);
  ui->efDirectory->SetText(DefaultLoggingPath(programDirectory_));
  ui->efAnzahl->SetValue(5);
  // The scheduler can be started only when it is there.
  ui->btnPlanner->setEnabled(::access(SchedulerProgram().toLocal8Bit().constData(), X_OK) == 0);

  TRegistry reg;
  TAutoSettings values = ControlValues();
  if (ReadAutoSettings(reg, values)) ShowValues(values);

  if (ui->optDUN->isChecked()) {
    ui->efConnections->setEnabled(true);
    EnableProxy(false);
  } else if (ui->optSocks5->isChecked()) {
    ui->efConnections->setEnabled(false);
    EnableProxy(true);
  } else if (ui->optLAN->isChecked()) {
    ui->efConnections->setEnabled(false);
    EnableProxy(false);
  }
}

TAutoSettings TConfigForm::ControlValues() const {
  TAutoSettings v;
  v.AConnection = ui->efConnections->currentIndex();
  v.AServer = ui->efAddress->text();
  v.ANetMessage = ui->chkNetMessages->isChecked();
  v.ANetRecipient = ui->efTarget->text();
  v.ANetSender = ui->efSender->text();
  v.ASMTPServer = ui->efSMTPServer->text();
  v.ASMTPPort = ui->efSMTPPort->text();
  v.ASMTPUser = ui->efSMTPUser->text();
  v.ASMTPPassword = ui->efSMTPPassword->text();
  v.AUseLAN = ui->optLAN->isChecked();
  v.AUseRas = ui->optDUN->isChecked();
  v.AUseSocks5 = ui->optSocks5->isChecked();
  v.ASocksIP = ui->efIP->text();
  v.ASocksPort = ui->efPort->text();
  v.ASocksUsername = ui->efUser->text();
  v.ASocksPassword = ui->efPassword->text();
  v.ATimeout = SpinWholeValue(ui->efTimeout);
  v.ALogging = ui->chkLogfile->isChecked();
  v.ALoggingPath = ui->efDirectory->Text();
  v.ALoggingCount = SpinWholeValue(ui->efAnzahl);
  return v;
}

void TConfigForm::ShowValues(const TAutoSettings &v) {
  // An index outside the list leaves no entry chosen.
  ui->efConnections->setCurrentIndex(
      v.AConnection >= 0 && v.AConnection < ui->efConnections->count() ? v.AConnection : -1);
  ui->efAddress->setText(v.AServer);
  ui->chkNetMessages->setChecked(v.ANetMessage);
  ui->efTarget->setText(v.ANetRecipient);
  ui->efSender->setText(v.ANetSender);
  ui->efSMTPServer->setText(v.ASMTPServer);
  ui->efSMTPPort->setText(v.ASMTPPort);
  ui->efSMTPUser->setText(v.ASMTPUser);
  ui->efSMTPPassword->setText(v.ASMTPPassword);
  // With several switches on, the last one read wins; with none, no button stays checked.
  SetRadioChecked(ui->optDUN, v.AUseRas);
  SetRadioChecked(ui->optSocks5, v.AUseSocks5);
  SetRadioChecked(ui->optLAN, v.AUseLAN);
  ui->efIP->setText(v.ASocksIP);
  ui->efPort->setText(v.ASocksPort);
  ui->efUser->setText(v.ASocksUsername);
  ui->efPassword->setText(v.ASocksPassword);
  ui->efTimeout->SetValue(v.ATimeout);
  ui->chkLogfile->setChecked(v.ALogging);
  ui->efDirectory->SetText(v.ALoggingPath);
  ui->efAnzahl->SetValue(v.ALoggingCount);
}

// Qt refuses to uncheck the checked button of an exclusive group, so exclusivity is lifted for
// that moment: all three may end unchecked.
void TConfigForm::SetRadioChecked(QRadioButton *button, bool checked) {
  if (checked == button->isChecked()) return;
  if (checked) {
    button->setChecked(true);
    return;
  }
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(true);
}

void TConfigForm::EnableProxy(bool enabled) {
  for (QWidget *w : {static_cast<QWidget *>(ui->efIP), static_cast<QWidget *>(ui->efPort),
                     static_cast<QWidget *>(ui->efUser), static_cast<QWidget *>(ui->efPassword),
                     static_cast<QWidget *>(ui->Label4), static_cast<QWidget *>(ui->Label5),
                     static_cast<QWidget *>(ui->Label6), static_cast<QWidget *>(ui->Label7)})
    w->setEnabled(enabled);
}

void TConfigForm::optDUNClick() {
  ui->efConnections->setEnabled(true);
  EnableProxy(false);
}

void TConfigForm::optSocks5Click() {
  ui->efConnections->setEnabled(false);
  EnableProxy(true);
}

void TConfigForm::optLANClick() {
  ui->efConnections->setEnabled(false);
  EnableProxy(false);
}

void TConfigForm::chkNetMessagesClick() {
  const bool on = ui->chkNetMessages->isChecked();
  for (QWidget *w : {static_cast<QWidget *>(ui->efSender), static_cast<QWidget *>(ui->efTarget),
                     static_cast<QWidget *>(ui->efSMTPServer), static_cast<QWidget *>(ui->efSMTPPort),
                     static_cast<QWidget *>(ui->efSMTPUser), static_cast<QWidget *>(ui->efSMTPPassword),
                     static_cast<QWidget *>(ui->Label3), static_cast<QWidget *>(ui->Label10),
                     static_cast<QWidget *>(ui->Label11), static_cast<QWidget *>(ui->Label12),
                     static_cast<QWidget *>(ui->Label13), static_cast<QWidget *>(ui->Label14)})
    w->setEnabled(on);
}

// The log controls follow the check box, so they cannot drift out of step with it.
void TConfigForm::chkLogfileClick() {
  const bool on = ui->chkLogfile->isChecked();
  for (QWidget *w : {static_cast<QWidget *>(ui->lblVerzeichnis), static_cast<QWidget *>(ui->efDirectory),
                     static_cast<QWidget *>(ui->lblAnzahl), static_cast<QWidget *>(ui->efAnzahl)})
    w->setEnabled(on);
}

void TConfigForm::btnOKClick() {
  TConfigEntries entries;
  entries.Values = ControlValues();
  entries.ConnectionChosen = !ui->efConnections->currentText().isEmpty();
  entries.Timeout = SpinEntry(ui->efTimeout);
  entries.LoggingCount = SpinEntry(ui->efAnzahl);
  if (auto fault = CheckConfigEntries(entries)) {
    kv::ui::MessageRequest box;
    box.text = fault->Message;
    box.caption = QStringLiteral("Fehler");
    box.icon = fault->Icon;
    kv::ui::ShowMessage(this, box);
    if (fault->Tab != tabNone) ui->PageControl1->setCurrentIndex(fault->Tab);
    if (!fault->Focus.isEmpty()) FocusControl(fault->Focus);
    return;
  }
  try {
    TRegistry reg;
    WriteAutoSettings(reg, entries.Values);
  } catch (const ERegistryException &e) {
    // The entries stay in the dialog, so nothing the user typed is lost.
    kv::ui::ShowError(this, QStringLiteral("Die Einstellungen konnten nicht gespeichert werden.\n") +
                                QString::fromStdString(e.what()));
    return;
  }
  accept();
}

void TConfigForm::FocusControl(const QString &name) {
  QWidget *control = findChild<QWidget *>(name);
  if (!control) return;
  // A control on a tab that is not shown cannot take the focus.
  for (int i = 0; i < ui->PageControl1->count(); ++i)
    if (ui->PageControl1->widget(i)->isAncestorOf(control) && ui->PageControl1->currentIndex() != i)
      ui->PageControl1->setCurrentIndex(i);
  control->setFocus(Qt::OtherFocusReason);
}

void TConfigForm::btnCancelClick() {
  reject();
}

void TConfigForm::btnPlannerClick() {
  const std::string program = SchedulerProgram().toStdString();
  const platform::ShellResult r = platform::ShellSpawn(program, {programDirectory_.toStdString()});
  if (!r.Succeeded())
    kv::ui::ShowError(this, QStringLiteral("Das Planungsprogramm „%1“ konnte nicht gestartet werden.\n%2")
                                .arg(SchedulerProgram(), StartFailure(r)));
}

} // namespace kv::app

#include "moc_config_form.cpp"

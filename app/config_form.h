#pragma once
// TConfigForm: the configuration dialog of the automatic mode. It reads the key
// "\Software\Halvern\Korvane\Auto" each time it is shown, checks the entries on "&OK", writes
// all twenty values and closes; "&Abbrechen", Esc and the close box close it without saving.
// "Ausführung &planen" starts the scheduler program kvnsched from the program directory.
//
// Both programs build it from this code. kvnadm runs it as its main window; the time client
// opens a new one for each request, modally:
//   auto *form = new kv::app::TConfigForm(mainWindow); // or on the stack: TConfigForm f(w);
//   form->exec();
// The global ConfigForm points at the newest instance while it lives.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

#include "app/config_values.h"
#include "net/dial_up.h"
#include "net/ras_phonebook.h"
#include "platform/ui/qt_dispatcher.h"

namespace Ui {
class TConfigForm;
}

class QRadioButton;

namespace kv::app {

// A backend that lists the PPP peers in `directory` and never dials: the dialog only shows the
// phone book.
std::unique_ptr<net::RasBackend> PhoneBookListing(const std::string &directory = net::DefaultPeersDirectory);

class TConfigForm : public QDialog {
  Q_OBJECT

public:
  // `programDirectory`: where kvnsched is looked for and what decides the default log folder
  // (DefaultLoggingPath), with a trailing "/"; the program's own folder when empty. `ras`: the dial-up
  // backend whose phone book is listed; null for the PPP peers of the system, listed without the dialler.
  explicit TConfigForm(QWidget *parent = nullptr, const QString &programDirectory = {},
                       std::unique_ptr<net::RasBackend> ras = nullptr);
  ~TConfigForm() override;

  // Help contexts of the dialog and its three tabs.
  static constexpr int HelpContext = 6;

  // Lists the phone book (asynchronous dial mode, English state texts; it never dials here).
  std::unique_ptr<net::TDialUp> DialUp1;

  // The scheduler program that "Ausführung &planen" starts.
  QString SchedulerProgram() const { return programDirectory_ + QStringLiteral("kvnsched"); }

  // Handlers.
  void FormCreate();
  void DialUp1EntryGet(net::TDialUp *Sender, const std::string &EntryName);
  void FormShow();
  void chkNetMessagesClick();
  void chkLogfileClick();
  void optDUNClick();
  void optSocks5Click();
  void optLANClick();
  void btnOKClick();
  void btnCancelClick();
  void btnPlannerClick();

protected:
  void showEvent(QShowEvent *event) override;

private:
  // The values as the controls hold them, and the controls set from values in reading order.
  TAutoSettings ControlValues() const;
  void ShowValues(const TAutoSettings &values);
  void SetRadioChecked(QRadioButton *button, bool checked);
  void EnableProxy(bool enabled);
  // Puts the focus on the named control, selecting its tab first when that is not shown.
  void FocusControl(const QString &name);

  std::unique_ptr<Ui::TConfigForm> ui;
  ui::QtDispatcher dispatcher_;
  QString programDirectory_;
};

// The newest configuration dialog, or null.
extern TConfigForm *ConfigForm;

} // namespace kv::app

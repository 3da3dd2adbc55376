#pragma once
// TWebUpdateForm: the "Internet Update" dialog. It shows the release on this PC and the one on
// the web, runs the check of its web update component from "&Update starten", follows the
// download in its progress bar and reports the outcome in message boxes. Open it modally:
//   TWebUpdateForm form(mainWindow);
//   form.exec();
// While a check runs, "Sch&ließen" (and Esc) stops the transfer and closes the window once the
// check has ended, so a stalled server never holds the user.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

#include "app/web_update.h"

namespace Ui {
class TWebUpdateForm;
}

namespace kv::app {

// The information page of the update: the host set at build time (KORVANE_UPDATE_HOST) and the
// fixed path "/update/korvan.htm".
std::string UpdatePageURL();

// At most this many characters of a text read from the update page are shown.
inline constexpr int kPageTextShown = 40;
// A text from the update page as it may be shown: control characters blanked, cut to `shown`
// characters (with "…"). Labels and boxes show it as plain text.
QString PageText(const std::string &text, int shown = kPageTextShown);

class TWebUpdateForm : public QDialog {
  Q_OBJECT

public:
  static constexpr int HelpContext = 9;

  explicit TWebUpdateForm(QWidget *parent = nullptr);
  ~TWebUpdateForm() override;

  // The component, created with the form's settings and bound to the handlers below.
  std::unique_ptr<TKvWebUpdate> kvWebUpdate;

  void btn_ExitClick();
  void btn_UpdateClick();
  void kvWebUpdateAfterGetInfo(TKvWebUpdate *Sender);
  void kvWebUpdateDownloadError(TKvWebUpdate *Sender);
  void kvWebUpdateDownload(TKvWebUpdate *Sender, int64_t Total, int64_t Downloaded);
  void kvWebUpdateNoUpdateFound(TKvWebUpdate *Sender);
  void kvWebUpdateUpdateAvailable(TKvWebUpdate *Sender, const std::string &ActualVersion,
                                  const std::string &NewVersion, bool &CanUpdate);
  void kvWebUpdateBeforeDownload(TKvWebUpdate *Sender, const std::string &FileName);
  void kvWebUpdateAfterDownload(TKvWebUpdate *Sender, const std::string &FileName);
  void kvWebUpdateCannotExecute(TKvWebUpdate *Sender);

public slots:
  // Esc and the window manager's close act only while "Sch&ließen" is enabled, and as it does.
  void reject() override;

private:
  void EnableButtons();

  std::unique_ptr<Ui::TWebUpdateForm> ui;
  bool closeRequested_ = false; // "Sch&ließen" was pressed during a check
  bool fileTransfer_ = false;   // the installer is being downloaded
};

} // namespace kv::app

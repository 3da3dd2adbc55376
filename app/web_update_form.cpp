#include "app/web_update_form.h"

#include "ui_webupdateform.h"

#include <algorithm>
#include <limits>

#include "net/http_get.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"

#ifndef KORVANE_UPDATE_HOST
#define KORVANE_UPDATE_HOST "https://www.halvern.example"
#endif

namespace kv::app {

std::string UpdatePageURL() {
  return std::string(KORVANE_UPDATE_HOST) + "/update/korvan.htm";
}

QString PageText(const std::string &text, int shown) {
  QString t = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
  for (QChar &c : t)
    if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) c = QLatin1Char(' ');
  if (t.size() > shown) t = t.left(shown - 1) + QChar(0x2026);
  return t;
}

namespace {

// What the user can do about a transfer library that cannot be used.
QString LibraryAdvice(platform::TLibraryFault fault) {
  switch (fault) {
  case platform::TLibraryFault::NotLoaded:
    return QStringLiteral(
        "Bitte installieren Sie libcurl (unter Debian das Paket libcurl4) und versuchen Sie es "
        "erneut.");
  case platform::TLibraryFault::LacksFunction:
  case platform::TLibraryFault::TooOld:
    return QStringLiteral(
        "Bitte installieren Sie libcurl ab Version 7.85 (unter Debian das Paket libcurl4) und "
        "versuchen Sie es erneut.");
  default:
    return QStringLiteral("Bitte versuchen Sie es später erneut.");
  }
}

} // namespace

TWebUpdateForm::TWebUpdateForm(QWidget *parent)
    : QDialog(parent), kvWebUpdate(std::make_unique<TKvWebUpdate>()),
      ui(std::make_unique<Ui::TWebUpdateForm>()) {
  ui->setupUi(this);
  // Dialog border without border icons: no system menu, no close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(353, 209);

  TKvWebUpdate &w = *kvWebUpdate;
  w.TagInfo.Author = "kvAuthor";
  w.TagInfo.Email = "kvEmail";
  w.TagInfo.ClientFileName = "kvClientSideName";
  w.TagInfo.Download = "kvDownload";
  w.TagInfo.ProductName = "kvProduct";
  w.TagInfo.Redirection = "kvRedirection";
  w.TagInfo.RunParameters = "kvRunParameters";
  w.TagInfo.Version = "kvVersion";
  w.ProductInfo.SetURL(UpdatePageURL());
  w.ProductInfo.Version = "Release 27";
  w.ProductInfo.VersionFormat = vfString;
  w.InfoCaption.OkButton = QStringLiteral("&OK");
  w.InfoCaption.CancelButton = QStringLiteral("Abbre&chen");
  w.InfoCaption.CheckForUpdate = QStringLiteral("in Zukunft auf &Updates prüfen");
  w.Options = {uoRunUpdate, uoTerminate, uoOverwrite};
  w.OnBeforeDownload = [this](TKvWebUpdate *s, const std::string &f) { kvWebUpdateBeforeDownload(s, f); };
  w.OnAfterDownload = [this](TKvWebUpdate *s, const std::string &f) { kvWebUpdateAfterDownload(s, f); };
  w.OnUpdateAvailable = [this](TKvWebUpdate *s, const std::string &a, const std::string &n, bool &c) {
    kvWebUpdateUpdateAvailable(s, a, n, c);
  };
  w.OnCannotExecute = [this](TKvWebUpdate *s) { kvWebUpdateCannotExecute(s); };
  w.OnAfterGetInfo = [this](TKvWebUpdate *s) { kvWebUpdateAfterGetInfo(s); };
  w.OnNoUpdateFound = [this](TKvWebUpdate *s) { kvWebUpdateNoUpdateFound(s); };
  w.OnDownload = [this](TKvWebUpdate *s, int64_t total, int64_t done) {
    kvWebUpdateDownload(s, total, done);
  };
  w.OnDownloadError = [this](TKvWebUpdate *s) { kvWebUpdateDownloadError(s); };

  connect(ui->btn_Update, &QPushButton::clicked, this, &TWebUpdateForm::btn_UpdateClick);
  connect(ui->btn_Exit, &QPushButton::clicked, this, &TWebUpdateForm::btn_ExitClick);
  kv::ui::InstallHelpKey(this, HelpContext);
}

TWebUpdateForm::~TWebUpdateForm() = default;

void TWebUpdateForm::EnableButtons() {
  ui->btn_Update->setEnabled(true);
  ui->btn_Exit->setEnabled(true);
}

void TWebUpdateForm::reject() {
  if (ui->btn_Exit->isEnabled()) ui->btn_Exit->click();
}

void TWebUpdateForm::btn_ExitClick() {
  if (kvWebUpdate->Busy()) {
    // The component may not go while its transfer runs: stop it, close when the check is over.
    closeRequested_ = true;
    kvWebUpdate->CancelTransfer();
    return;
  }
  done(QDialog::Rejected);
}

void TWebUpdateForm::btn_UpdateClick() {
  if (kvWebUpdate->Busy()) return;
  // The transfers' library is loaded only now; without it there is nothing to try.
  std::string why;
  platform::TLibraryFault fault = platform::TLibraryFault::None;
  if (!net::LoadHttpLibrary(&why, &fault)) {
    ui::ShowError(this,
                  QStringLiteral("Für Internet-Übertragungen braucht Korvane die Bibliothek libcurl. ") +
                      QString::fromStdString(why) + QLatin1Char(' ') + LibraryAdvice(fault));
    return;
  }
  closeRequested_ = false;
  fileTransfer_ = false;
  // What a previous check downloaded is not this check's.
  ui->ProgressBar->setRange(0, 100);
  ui->ProgressBar->setValue(0);
  ui->lbl_File->clear();
  // "Sch&ließen" stays enabled as the way out of a check that takes too long.
  ui->btn_Update->setEnabled(false);
  kvWebUpdate->CheckAndUpdate();
  if (closeRequested_) done(QDialog::Rejected);
}

void TWebUpdateForm::kvWebUpdateAfterGetInfo(TKvWebUpdate *Sender) {
  ui->lbl_YourVersion->setText(PageText(Sender->ProductInfo.Version));
  ui->lbl_WebVersion->setText(PageText(Sender->WebVersion()));
}

void TWebUpdateForm::kvWebUpdateDownloadError(TKvWebUpdate *) {
  ui->lbl_WebVersion->setText(QStringLiteral("unbekannt"));
  if (!closeRequested_)
    ui::ShowError(this, QStringLiteral("Die Daten konnten nicht aus dem Internet geladen werden!"));
  EnableButtons();
}

void TWebUpdateForm::kvWebUpdateDownload(TKvWebUpdate *, int64_t Total, int64_t Downloaded) {
  // The bar is the file's, beside its name: the information page's transfer does not fill it.
  if (!fileTransfer_) return;
  // The bar counts in int: sizes of 2 GiB and more are shown in larger steps.
  int shift = 0;
  while ((std::max(Total, Downloaded) >> shift) > std::numeric_limits<int>::max())
    ++shift;
  ui->ProgressBar->setMaximum(static_cast<int>(Total >> shift));
  ui->ProgressBar->setValue(static_cast<int>(Downloaded >> shift));
}

void TWebUpdateForm::kvWebUpdateNoUpdateFound(TKvWebUpdate *) {
  ui::ShowInformation(this, QStringLiteral("Es ist keine neue Version verfügbar!"));
  EnableButtons();
}

void TWebUpdateForm::kvWebUpdateUpdateAvailable(TKvWebUpdate *, const std::string &,
                                                const std::string &NewVersion, bool &CanUpdate) {
  ui->ProgressBar->setValue(0);
  const QString text = QStringLiteral("Die neue Version Korvane 2005 %1 ist nun zum Download verfügbar.\r\n"
                                      "Soll das Update von Korvane 2005 jetzt durchgeführt werden?")
                           .arg(PageText(NewVersion));
  CanUpdate =
      ui::ShowMessage(this, {text, QStringLiteral("Informationen"), ui::MessageIcon::Information,
                             ui::MessageButtons::YesNo, ui::MessageAnswer::Yes}) == ui::MessageAnswer::Yes;
  if (!CanUpdate) done(QDialog::Rejected);
}

void TWebUpdateForm::kvWebUpdateBeforeDownload(TKvWebUpdate *, const std::string &FileName) {
  fileTransfer_ = true;
  // A name wider than the label loses its middle, so its start and its extension stay readable.
  const QString name = QStringLiteral("%1").arg(PageText(FileName.substr(FileName.rfind('/') + 1), 255));
  ui->lbl_File->setText(
      ui->lbl_File->fontMetrics().elidedText(name, Qt::ElideMiddle, ui->lbl_File->contentsRect().width()));
}

void TWebUpdateForm::kvWebUpdateAfterDownload(TKvWebUpdate *Sender, const std::string &FileName) {
  fileTransfer_ = false;
  // Only a download that arrived whole is reported; a failed one has had its error box.
  if (Sender->Success() && !closeRequested_) {
    if (Sender->DownloadVerified())
      ui::ShowInformation(this, QStringLiteral("Das Update wurde heruntergeladen und wird nun installiert."));
    else
      ui::ShowInformation(
          this,
          QStringLiteral("Das Update wurde heruntergeladen, aber nicht gestartet, weil es nicht über eine "
                         "gesicherte Verbindung (HTTPS mit geprüftem Zertifikat) geladen wurde.\r\n"
                         "Sie finden die Datei hier:\r\n") +
              QString::fromUtf8(FileName.data(), static_cast<int>(FileName.size())));
  }
  EnableButtons();
}

void TWebUpdateForm::kvWebUpdateCannotExecute(TKvWebUpdate *) {
  EnableButtons();
}

} // namespace kv::app

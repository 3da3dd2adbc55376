#include "app/web_update_info.h"

#include "ui_showinfoupdate.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include "platform/ui/application.h"

namespace kv::app {

TInfoBrowser::TInfoBrowser(QWidget *parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
}

QVariant TInfoBrowser::loadResource(int, const QUrl &) {
  return {};
}

Tfrm_ShowInfoUpdate::Tfrm_ShowInfoUpdate(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Tfrm_ShowInfoUpdate>()) {
  ui->setupUi(this);
  // No border icons; the size is the form's and it is centred on the screen.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  resize(530, 453);
  if (QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  connect(ui->btn_OK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
  ui->Panel_Bottom->installEventFilter(this);
  Panel_BottomResize();
  kv::ui::InstallHelpKey(this, HelpContext);
}

Tfrm_ShowInfoUpdate::~Tfrm_ShowInfoUpdate() = default;

QPushButton *Tfrm_ShowInfoUpdate::btn_OK() const {
  return ui->btn_OK;
}
QPushButton *Tfrm_ShowInfoUpdate::btn_Cancel() const {
  return ui->btn_Cancel;
}
QCheckBox *Tfrm_ShowInfoUpdate::chk_FutureUpdate() const {
  return ui->chk_FutureUpdate;
}
TInfoBrowser *Tfrm_ShowInfoUpdate::WebBrowser() const {
  return ui->WebBrowser;
}

void Tfrm_ShowInfoUpdate::Navigate(const QString &url, const QString &html) {
  url_ = url;
  if (html.isEmpty())
    ui->WebBrowser->setPlainText(QStringLiteral("Die Informationsseite wurde noch nicht geladen:\n") + url);
  else
    ui->WebBrowser->setHtml(html);
}

void Tfrm_ShowInfoUpdate::Panel_BottomResize() {
  const int w = ui->Panel_Bottom->width();
  // Integer division truncating towards zero, as a narrow panel gives a negative position.
  ui->btn_OK->move((w - ui->btn_OK->width() - ui->btn_Cancel->width() - 6) / 2, ui->btn_OK->y());
  ui->btn_Cancel->move(ui->btn_OK->x() + ui->btn_OK->width() + 3, ui->btn_Cancel->y());
}

bool Tfrm_ShowInfoUpdate::eventFilter(QObject *watched, QEvent *event) {
  if (watched == ui->Panel_Bottom && event->type() == QEvent::Resize) Panel_BottomResize();
  return QDialog::eventFilter(watched, event);
}

} // namespace kv::app

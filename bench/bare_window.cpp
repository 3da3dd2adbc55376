// The floor of the start-up benchmark: a plain Qt Widgets window with about what the time
// client's main window holds (a banner, a three-page pane of rich text with links on the left,
// two group boxes of radio buttons, edits, a combo box and output labels, a status bar), with
// none of the program's own work behind it. Built with the first-paint probe as
// bare_window_probe.
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolBox>
#include <QToolButton>
#include <QVBoxLayout>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowIcon(QIcon(QStringLiteral(":/korvane/logo.png")));
  window.setWindowTitle(QStringLiteral("Korvane 2005"));
  window.resize(609, 441);
  auto *central = new QWidget;
  auto *outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);

  auto *banner = new QFrame;
  banner->setFixedHeight(64);
  banner->setStyleSheet(QStringLiteral("background-color: white; color: black;"));
  auto *bannerText = new QVBoxLayout;
  auto *heading = new QLabel(QStringLiteral("Systemzeit-Synchronisation"));
  QFont bold = heading->font();
  bold.setBold(true);
  bold.setPointSize(12);
  heading->setFont(bold);
  bannerText->addWidget(heading);
  bannerText->addWidget(new QLabel(QStringLiteral("Synchronisieren Sie die Systemzeit Ihres PC mit der "
                                                  "Atomzeit über\neinen NTP- oder SNTP-Server im Internet")));
  bannerText->setSpacing(2);
  auto *bannerRow = new QHBoxLayout;
  bannerRow->setContentsMargins(12, 6, 12, 6);
  bannerRow->addLayout(bannerText);
  bannerRow->addStretch();
  auto *logo = new QLabel;
  logo->setPixmap(QPixmap(QStringLiteral(":/korvane/logo.png"))
                      .scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  bannerRow->addWidget(logo);
  banner->setLayout(bannerRow);
  outer->addWidget(banner);

  auto *body = new QHBoxLayout;
  auto *pane = new QToolBox;
  pane->setFixedWidth(180);
  const struct {
    const char *icon, *title, *text;
  } pages[] = {
      {"main", "Hauptfunktionen",
       "<b>Hauptfunktionen</b><hr><img src=\":/korvane/navpane/konfig.png\"> <a "
       "href=\"konfig\">Konfiguration "
       "des Automatik-Modus</a><br><img src=\":/korvane/navpane/ende.png\"> <a href=\"ende\">Programm "
       "beenden</a>"},
      {"update", "Update",
       "<b>Update</b><hr><img src=\":/korvane/navpane/update.png\"> <a href=\"update\">Internet Updater</a>"},
      {"help", "Hilfe",
       "<b>Hilfefunktionen</b><hr><img src=\":/korvane/navpane/hilfe.png\"> <a href=\"hilfe\">Hilfe</a><br>"
       "<img src=\":/korvane/navpane/info.png\"> <a href=\"info\">Info</a>"},
  };
  for (const auto &page : pages) {
    auto *text = new QLabel(QString::fromUtf8(page.text));
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text->setWordWrap(true);
    pane->addItem(text, QIcon(QStringLiteral(":/korvane/navbar/%1.png").arg(QLatin1String(page.icon))),
                  QString::fromUtf8(page.title));
  }
  body->addWidget(pane);

  auto *right = new QVBoxLayout;
  auto *connection = new QGroupBox(QStringLiteral(" Verbindung "));
  auto *grid = new QGridLayout(connection);
  grid->addWidget(new QRadioButton(QStringLiteral("&DFÜ-Verbindung")), 0, 0);
  grid->addWidget(new QComboBox, 0, 1, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("DFÜ-Status")), 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("Nicht verbunden")), 1, 1, 1, 3);
  grid->addWidget(new QRadioButton(QStringLiteral("SOCKS&5-Proxy")), 2, 0);
  const char *fields[] = {"&IP-Adresse", "&Port", "&Benutzer", "Pass&wort"};
  for (int i = 0; i < 4; ++i) {
    grid->addWidget(new QLabel(QString::fromUtf8(fields[i])), 3 + i / 2, (i % 2) * 2);
    auto *edit = new QLineEdit;
    edit->setEnabled(false); // the proxy's fields, off while the LAN is chosen
    grid->addWidget(edit, 3 + i / 2, (i % 2) * 2 + 1);
  }
  auto *lan = new QRadioButton(QStringLiteral("&LAN-Verbindung"));
  lan->setChecked(true);
  grid->addWidget(lan, 5, 0);
  right->addWidget(connection);

  auto *sync = new QGroupBox(QStringLiteral(" Zeitsynchronisation "));
  auto *syncGrid = new QGridLayout(sync);
  syncGrid->addWidget(new QLabel(QStringLiteral("&Adresse des NTP- oder SNTP-Servers")), 0, 0, 1, 2);
  syncGrid->addWidget(new QLineEdit(QStringLiteral("pool.ntp.org")), 1, 0);
  auto *button = new QToolButton;
  button->setText(QStringLiteral("&Synchronisieren"));
  syncGrid->addWidget(button, 1, 1);
  syncGrid->addWidget(new QLabel(QStringLiteral("Systemzeit")), 2, 0);
  syncGrid->addWidget(new QLabel, 2, 1);
  syncGrid->addWidget(new QLabel(QStringLiteral("NTP-Zeit")), 3, 0);
  syncGrid->addWidget(new QLabel, 3, 1);
  right->addWidget(sync);
  body->addLayout(right);
  outer->addLayout(body);

  window.setCentralWidget(central);
  window.setStatusBar(new QStatusBar);
  window.show();
  return app.exec();
}

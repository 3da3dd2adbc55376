// The main window's navigation pane: the bar on the left with its three pages, and the commands
// its anchors and the window menu's "Info über..." give.
#include "app/main_form.h"

#include "ui_mainform.h"

#include <QImage>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/config_form.h"
#include "app/web_update_form.h"
#include "controls/panels/ex_panel.h"
#include "controls/panels/navbar.h"
#include "controls/panels/panel_styler.h"
#include "platform/ui/application.h"
#include "platform/ui/image_list.h"
#include "platform/ui/message_box.h"

namespace kv::app {

namespace {

std::shared_ptr<ui::TImageList> LoadImageList(int size, std::initializer_list<const char *> names) {
  auto list = std::make_shared<ui::TImageList>(size, size);
  for (const char *name : names)
    list->AddImage(QImage(QStringLiteral(":/korvane/%1.png").arg(QLatin1String(name))));
  return list;
}

} // namespace

void TMainForm::CreateNavigationPane() {
  // Panel pictures by index: 0 configuration, 1 end, 2 help, 3 about, 4 update, 5 help text.
  ImageList1 = LoadImageList(16, {"navpane/konfig", "navpane/ende", "navpane/hilfe", "navpane/info",
                                  "navpane/update", "navpane/text"});
  ImageList2 = LoadImageList(24, {"navbar/main", "navbar/update", "navbar/help"});

  ExNavBar1 = ui->ExNavBar1;
  ExNavBar1->SetImages(ImageList2);
  ExNavBar1->BeginLoading();
  struct Page {
    panels::TExNavBarPanel *&field;
    const char *name;
    QString caption;
    int imageIndex;
  };
  const Page pages[] = {{ExNavBarPanel1, "ExNavBarPanel1", QStringLiteral("Hilfe"), 2},
                        {ExNavBarPanel2, "ExNavBarPanel2", QStringLiteral("Update"), 1},
                        {ExNavBarPanel3, "ExNavBarPanel3", QStringLiteral("Hauptfunktionen"), 0}};
  int index = 0;
  for (const Page &page : pages) {
    page.field = new panels::TExNavBarPanel(ExNavBar1);
    page.field->setObjectName(QLatin1String(page.name));
    page.field->SetCaption(page.caption);
    page.field->SetImageIndex(page.imageIndex);
    page.field->SetPanelIndex(index++);
  }
  // Every page as a big tab, the main functions shown first.
  ExNavBar1->SetSpliterPosition(3);
  ExNavBar1->SetActiveTabIndex(2);
  ExNavBar1->Loaded();

  struct Panel {
    panels::TExPanel *&field;
    const char *name;
    panels::TExNavBarPanel *page;
    const char *text;
  };
  const Panel texts[] = {
      {ExPanel2, "ExPanel2", ExNavBarPanel3,
       R"(<BR><B> Hauptfunktionen</B></FONT><HR><BR><IMG src="idx:0" ALIGN="Absmiddle"> <A href="konfig"> )"
       R"(Konfiguration des Automatik-Modus</A><BR><BR><IMG src="idx:1" align="Absmiddle"> <A href="ende"> )"
       R"(Programm beenden</A><BR>)"},
      {ExPanel3, "ExPanel3", ExNavBarPanel2,
       R"(<BR><B> Update</B><HR><BR><IMG src="idx:4"> <A href="update"> Internet Updater</A><BR><br>)"},
      {ExPanel4, "ExPanel4", ExNavBarPanel1,
       R"(<br><B> Hilfefunktionen</B><hr><BR><IMG src="idx:5"><IMG src="idx:2"> <A href="hilfe"> KV Text )"
       R"(Hilfe</A><br><br><IMG src="idx:3"> <A href="info"> Über Korvane...</A>)"}};
  for (const Panel &panel : texts) {
    auto *p = new panels::TExPanel(panel.page);
    panel.field = p;
    p->setObjectName(QLatin1String(panel.name));
    p->BeginLoading();
    p->SetColor(ui::clWhite);
    // Stored only: Hover stays off, so every anchor shows underlined and none is highlighted.
    p->SetHoverColor(ui::clBlue);
    p->SetImages(ImageList1);
    p->SetIndent(4); // keeps wrapped lines off the panel's edge
    p->Caption().SetVisible(false);
    p->SetText(QString::fromUtf8(panel.text));
    p->OnAnchorClick = [this](panels::TCustomExPanel *Sender, const QString &Anchor) {
      ExPanel1AnchorClick(Sender, Anchor);
    };
    p->Loaded();
    // The panel fills its page.
    auto *layout = new QVBoxLayout(panel.page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(p);
  }
  ExPanelStyler1 = new panels::TExPanelStyler(this);
  ExPanelStyler1->setObjectName(QStringLiteral("ExPanelStyler1"));
  ExPanelStyler1->SetStyle(panels::psXP);

  PaneHooks.ShowModal = [](QDialog &dialog) { dialog.exec(); };
}

// Each command opens a new dialog over the window and frees it once it is closed: nothing reads
// a closed dialog again, so keeping every instance until the program ends would only pile them up.
template <class Dialog> void TMainForm::ShowDialog() {
  Dialog dialog(this);
  PaneHooks.ShowModal(dialog);
}

void TMainForm::ExPanel1AnchorClick(panels::TCustomExPanel *, const QString &Anchor) {
  if (Anchor == QLatin1String("konfig"))
    ShowDialog<TConfigForm>();
  else if (Anchor == QLatin1String("ende"))
    close();
  else if (Anchor == QLatin1String("update"))
    ShowDialog<TWebUpdateForm>();
  else if (Anchor == QLatin1String("hilfe"))
    OpenHelpFile();
  else if (Anchor == QLatin1String("info"))
    ShowDialog<TAboutBox>();
}

// The help file as a whole; when it cannot be shown, the user is told why.
void TMainForm::OpenHelpFile() {
  ui::Application().HelpContext(0, this);
}

void TMainForm::ShowAboutOnSysCommand(unsigned Command) {
  if ((Command & ~0xFu) == kAboutCommand) ShowDialog<TAboutBox>();
}

} // namespace kv::app

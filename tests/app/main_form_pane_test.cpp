// The main window's navigation pane: its bar and pages, the commands of its anchors and the
// window menu's "Info über...".
#include "app/main_form.h"

#include <QAction>
#include <QDialog>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/about_box.h"
#include "app/config_form.h"
#include "app/web_update_form.h"
#include "app/web_update_info.h"
#include "controls/panels/ex_panel.h"
#include "controls/panels/navbar.h"
#include "modal_driver.h"
#include "platform/registry.h"
#include "platform/ui/application.h"
#include "platform/ui/image_list.h"
#include "platform/ui/message_box.h"
#include "test_support.h"

using kv::app::TMainForm;

namespace {

class MainFormPaneTest : public ::testing::Test {
protected:
  void SetUp() override {
    form_ = std::make_unique<TMainForm>(dispatcher_, QStringList{});
    defaultShowModal_ = form_->PaneHooks.ShowModal;
    // Dialogs are recorded by class instead of being run.
    form_->PaneHooks.ShowModal = [this](QDialog &d) { opened_.push_back(d.metaObject()->className()); };
    QObject::connect(form_.get(), &TMainForm::Closed, [this] { ++closed_; });
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    kv::ui::Application().SetHelpOpener({}); // a test's opener, even one that failed half-way
  }

  // Shows the page of `panel` and clicks the first point of its anchor `href` as drawn.
  void Click(kv::panels::TExPanel *panel, const QString &href) {
    for (int i = 0; i < form_->ExNavBar1->PanelCount(); ++i)
      if (form_->ExNavBar1->Panels(i) == panel->parentWidget()) form_->ExNavBar1->SetActiveTabIndex(i);
    ASSERT_TRUE(panel->isVisible());
    QString anchor;
    kv::ui::TRect rect;
    for (int y = 0; y < panel->height(); y += 2)
      for (int x = 0; x < panel->width(); x += 2) {
        panel->GetAnchorAt(x, y, anchor, rect);
        if (anchor == href) {
          QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(x, y));
          return;
        }
      }
    FAIL() << "no anchor " << href.toStdString() << " on " << panel->objectName().toStdString();
  }

  kvtest::TempDir config_;
  kvtest::ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path()};
  kv::platform::ManualDispatcher dispatcher_;
  kv::ui::MessageBoxCapture boxes_;
  std::unique_ptr<TMainForm> form_;
  std::function<void(QDialog &)> defaultShowModal_;
  std::vector<std::string> opened_;
  int closed_ = 0;
};

TEST_F(MainFormPaneTest, TheBarOnTheLeftHoldsTheThreePagesWithTheMainFunctionsShownFirst) {
  kv::panels::TExNavBar *bar = form_->ExNavBar1;
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->mapTo(form_.get(), QPoint(0, 0)).x(), 0);
  EXPECT_GT(bar->height(), 300);
  ASSERT_EQ(bar->PanelCount(), 3);
  const char *captions[] = {"Hilfe", "Update", "Hauptfunktionen"};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(bar->Panels(i)->Caption().toStdString(), captions[i]) << i;
  EXPECT_EQ(bar->ActiveTabIndex(), 2);
  EXPECT_EQ(bar->ActivePanel(), form_->ExNavBarPanel3);
  EXPECT_TRUE(form_->ExNavBarPanel3->isVisible());
  EXPECT_FALSE(form_->ExNavBarPanel1->isVisible());

  // One white mark-up panel per page, without caption bar, pictures from ImageList1.
  const std::pair<kv::panels::TExPanel *, kv::panels::TExNavBarPanel *> panels[] = {
      {form_->ExPanel2, form_->ExNavBarPanel3},
      {form_->ExPanel3, form_->ExNavBarPanel2},
      {form_->ExPanel4, form_->ExNavBarPanel1}};
  for (auto [panel, page] : panels) {
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->parentWidget(), page);
    EXPECT_EQ(panel->Color(), kv::ui::clWhite);
    EXPECT_EQ(panel->HoverColor(), kv::ui::clBlue);
    EXPECT_FALSE(panel->Caption().Visible());
    EXPECT_EQ(panel->Images(), form_->ImageList1);
    EXPECT_EQ(panel->Styler(), nullptr);
  }
  EXPECT_EQ(form_->ExPanel2->size(), form_->ExNavBarPanel3->size());

  // Every picture loaded: six panel pictures of 16, three page icons of 24 pixels.
  ASSERT_EQ(form_->ImageList1->Count(), 6);
  ASSERT_EQ(form_->ImageList2->Count(), 3);
  EXPECT_EQ(bar->Images(), form_->ImageList2);
  for (auto [list, size] : {std::pair{form_->ImageList1, 16}, std::pair{form_->ImageList2, 24}})
    for (int i = 0; i < list->Count(); ++i) {
      const QImage image = list->Image(i);
      EXPECT_EQ(image.size(), QSize(size, size)) << i;
      int opaque = 0; // a drawn picture, not an empty one
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
          opaque += qAlpha(image.pixel(x, y)) > 128;
      EXPECT_GT(opaque, size * size / 4) << i;
    }
}

TEST_F(MainFormPaneTest, EachAnchorClickedOnItsPanelOpensItsDialog) {
  const std::tuple<kv::panels::TExPanel *, const char *, const char *> cases[] = {
      {form_->ExPanel2, "konfig", "kv::app::TConfigForm"},
      {form_->ExPanel3, "update", "kv::app::TWebUpdateForm"},
      {form_->ExPanel4, "info", "kv::app::TAboutBox"}};
  for (auto [panel, href, dialog] : cases) {
    opened_.clear();
    Click(panel, href);
    EXPECT_EQ(opened_, std::vector<std::string>{dialog}) << href;
  }
  // Clicking beside the anchors does nothing.
  opened_.clear();
  QTest::mouseClick(form_->ExPanel4, Qt::LeftButton, {},
                    QPoint(form_->ExPanel4->width() - 3, form_->ExPanel4->height() - 3));
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(MainFormPaneTest, OnlyTheExactHrefActsAndWebAddressesGoToTheOpener) {
  for (const char *anchor : {"Konfig", "INFO", "konfig ", "", "Ende"})
    form_->ExPanel1AnchorClick(nullptr, QString::fromUtf8(anchor));
  std::vector<QString> web;
  auto previous = kv::panels::TCustomExPanel::SetUrlOpener([&](const QString &url) { web.push_back(url); });
  form_->ExPanel3->SetText(R"(<A href="Konfig">gross</A><BR><A href="http://127.0.0.1/korvan.htm">Web</A>)");
  Click(form_->ExPanel3, "Konfig");
  Click(form_->ExPanel3, "http://127.0.0.1/korvan.htm");
  kv::panels::TCustomExPanel::SetUrlOpener(previous);
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(web, std::vector<QString>{"http://127.0.0.1/korvan.htm"});
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(closed_, 0);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(MainFormPaneTest, ClickingEndOnThePanelClosesTheWindowAndSavesTheSettings) {
  Click(form_->ExPanel2, "ende");
  EXPECT_EQ(closed_, 1);
  EXPECT_FALSE(form_->isVisible());
  kv::platform::TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(kv::app::kInteractiveKey));
  EXPECT_EQ(reg.ReadString("SocksPort"), "1080");
}

TEST_F(MainFormPaneTest, EachDialogRunsModallyAndInfoTwiceOpensTwoAboutBoxes) {
  // The window's own modal run; each dialog is closed from inside its loop as soon as it runs.
  form_->PaneHooks.ShowModal = defaultShowModal_;
  kvtest::ModalDriver close([this](QDialog &d) {
    if (d.parentWidget() == form_.get()) opened_.push_back(d.metaObject()->className());
    d.done(QDialog::Rejected);
    return false; // and the next one
  });
  for (const char *anchor : {"konfig", "update", "info", "info"})
    form_->ExPanel1AnchorClick(nullptr, anchor);
  EXPECT_EQ(opened_, (std::vector<std::string>{"kv::app::TConfigForm", "kv::app::TWebUpdateForm",
                                               "kv::app::TAboutBox", "kv::app::TAboutBox"}));
  EXPECT_TRUE(form_->isVisible());
}

// The pane's "hilfe" and F1 in every window (kvnadm's is the configuration dialog) show help
// the one way, which says why when it cannot.
TEST_F(MainFormPaneTest, HelpOpensTheHelpFileOrSaysWhyItCannotFromEveryWindow) {
  const std::string help = kv::ui::Application().ProgramDirectory().toStdString() + "korvan.hlp";
  const QString missing = QString::fromStdString("Die Hilfedatei „" + help + "“ wurde nicht gefunden.");
  std::remove(help.c_str());
  std::vector<std::string> opened;
  kv::platform::ShellResult answer;
  kv::ui::Application().SetHelpOpener([&](const std::string &path) {
    opened.push_back(path);
    return answer;
  });
  kv::app::TConfigForm config(form_.get());
  kv::app::TWebUpdateForm update(form_.get());
  kv::app::Tfrm_ShowInfoUpdate info(form_.get());
  const std::vector<QWidget *> windows = {form_.get(), &config, &update, &info};

  Click(form_->ExPanel4, "hilfe");
  for (QWidget *window : windows)
    QTest::keyClick(window, Qt::Key_F1);
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(boxes_.Shown().size(), 5u);
  for (const auto &box : boxes_.Shown()) {
    EXPECT_EQ(box.caption, "Fehler");
    EXPECT_EQ(box.text, missing);
  }

  // Each window's own topic.
  std::vector<int> topics;
  kv::ui::Application().SetHelpHook([&](int context) { topics.push_back(context); });
  for (QWidget *window : windows)
    QTest::keyClick(window, Qt::Key_F1);
  kv::ui::Application().SetHelpHook({});
  EXPECT_EQ(topics, (std::vector<int>{4, 6, 9, 1034}));

  kvtest::WriteFile(help, "help");
  boxes_.Clear();
  form_->ExPanel1AnchorClick(nullptr, "hilfe");
  EXPECT_EQ(opened, std::vector<std::string>{help});
  EXPECT_TRUE(boxes_.Shown().empty());

  answer.exit_code = 3; // xdg-open: no program for this kind of file
  QTest::keyClick(&update, Qt::Key_F1);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_NE(boxes_.Shown()[0].text.indexOf("kein Programm zum Anzeigen"), -1);
  std::remove(help.c_str());
}

TEST_F(MainFormPaneTest, InfoInTheWindowMenuOpensTheAboutBoxOtherCommandsDoNot) {
  QAction *about = form_->findChild<QAction *>("actAbout");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->text().toStdString(), "Info über...");
  about->trigger();
  form_->ShowAboutOnSysCommand(0xF203); // the low four bits do not count
  form_->ShowAboutOnSysCommand(0xF060); // closing
  form_->ShowAboutOnSysCommand(0xF210);
  EXPECT_EQ(opened_, (std::vector<std::string>{"kv::app::TAboutBox", "kv::app::TAboutBox"}));
  EXPECT_TRUE(form_->isVisible());
}

// The whole window as it is painted; kept as a picture under $KORVANE_SHOTS_DIR when set.
TEST_F(MainFormPaneTest, TheWindowPaintsThePaneBesideTheSettings) {
  ASSERT_TRUE(kvtest::WaitUntil([&] {
    QCoreApplication::processEvents();
    return form_->isVisible() && form_->ExNavBarPanel3->isVisible();
  }));
  const QImage shot = form_->grab().toImage();
  if (const char *dir = std::getenv("KORVANE_SHOTS_DIR")) {
    const QString name = QString::fromLocal8Bit(dir) + QStringLiteral("/main-window-%1%2.png");
    shot.save(name.arg(QGuiApplication::platformName(), QString()));
    for (int page : {1, 0}) {
      form_->ExNavBar1->SetActiveTabIndex(page);
      form_->ExNavBar1->grab().save(name.arg(QGuiApplication::platformName()).arg(page));
    }
    form_->ExNavBar1->SetActiveTabIndex(2);
  }
  // The bar's caption names the active page in its own colours, and the page below it is white.
  const QRect bar =
      form_->ExNavBar1->geometry().translated(form_->ExNavBar1->parentWidget()->mapTo(form_.get(), QPoint()));
  const QRect page = form_->ExNavBarPanel3->geometry().translated(
      form_->ExNavBarPanel3->mapTo(form_.get(), QPoint()) - form_->ExNavBarPanel3->pos());
  EXPECT_TRUE(bar.contains(page));
  EXPECT_EQ(shot.pixelColor(page.center()), QColor(Qt::white));
  EXPECT_NE(shot.pixelColor(bar.left() + 2, bar.top() + 10),
            shot.pixelColor(bar.right() + 4, bar.top() + 10));
}

} // namespace

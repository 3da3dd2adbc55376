#pragma once
// Tfrm_ShowInfoUpdate: the web update's information window. It shows the information page in a
// browser that loads nothing (no remote address, no local file: pictures and style sheets stay
// out, links are not followed), a check box for future checks, and OK and Cancel centred at the
// bottom. The program itself never shows it; TKvWebUpdate::ShowInfo does.

#include <QDialog>
#include <QTextBrowser>
#include <memory>

class QCheckBox;
class QPushButton;

namespace Ui {
class Tfrm_ShowInfoUpdate;
}

namespace kv::app {

// The browser control: renders the HTML it is given and fetches nothing.
class TInfoBrowser : public QTextBrowser {
  Q_OBJECT

public:
  explicit TInfoBrowser(QWidget *parent = nullptr);
  QVariant loadResource(int type, const QUrl &name) override;
};

class Tfrm_ShowInfoUpdate : public QDialog {
  Q_OBJECT

public:
  static constexpr int HelpContext = 1034;

  explicit Tfrm_ShowInfoUpdate(QWidget *parent = nullptr);
  ~Tfrm_ShowInfoUpdate() override;

  QPushButton *btn_OK() const;
  QPushButton *btn_Cancel() const;
  QCheckBox *chk_FutureUpdate() const;
  TInfoBrowser *WebBrowser() const;

  // Shows the page `html` that was loaded from `url`; without a page, says that none was loaded.
  void Navigate(const QString &url, const QString &html);
  const QString &NavigatedURL() const { return url_; }

  // Centres the two buttons in the bottom panel.
  void Panel_BottomResize();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  std::unique_ptr<Ui::Tfrm_ShowInfoUpdate> ui;
  QString url_;
};

} // namespace kv::app

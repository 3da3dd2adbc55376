#pragma once
// The system's folder-browse dialog, "Ordner suchen": a tree of the file system's folders under
// a text, with OK and "Abbrechen". Like the shell's dialog it reports to its owner through two
// hooks (once initialised, and after every change of the highlighted folder) and takes requests
// from it: highlight a folder, enable OK, show a status text, add a button at the left.

#include <QDialog>
#include <QString>
#include <functional>

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace kv::ui {

class TFolderTree;

class TFolderBrowseDialog : public QDialog {
public:
  explicit TFolderBrowseDialog(QWidget *parent = nullptr);
  ~TFolderBrowseDialog() override;

  // Text above the tree; an empty text shows none.
  void SetText(const QString &text);
  // Folder at the top of the tree ("/" unless set before the dialog is shown).
  void SetRootFolder(const QString &path);

  // Runs once when the dialog is first shown, before the user can act.
  std::function<void(TFolderBrowseDialog &)> OnInitialized;
  // Runs after each change of the highlighted folder, with its path ("" for none).
  std::function<void(TFolderBrowseDialog &, const QString &)> OnSelectionChanged;

  // Highlights `path` as soon as the tree has loaded it; a path that is not a folder under the
  // root is not highlighted.
  void SetSelection(const QString &path);
  // True while a highlight asked for is still waiting for its folder to load.
  bool SelectionPending() const;
  void EnableOK(bool enabled);
  bool OKEnabled() const;
  void SetStatusText(const QString &text);
  QString StatusText() const;
  // Adds a button at the left of the button row, level with OK; a click calls `clicked` and
  // leaves the dialog open.
  QPushButton *AddHelpButton(const QString &caption, std::function<void()> clicked);

  // The highlighted folder's path, "" when none is highlighted.
  QString HighlightedPath() const;
  TFolderTree *Tree() const { return tree_; }
  QPushButton *OKButton() const { return ok_; }

protected:
  void showEvent(QShowEvent *event) override;

private:
  QLabel *text_ = nullptr;
  QLabel *status_ = nullptr;
  TFolderTree *tree_ = nullptr;
  QHBoxLayout *buttons_ = nullptr;
  QPushButton *ok_ = nullptr;
  QString root_ = QStringLiteral("/");
  bool initialized_ = false;
};

} // namespace kv::ui

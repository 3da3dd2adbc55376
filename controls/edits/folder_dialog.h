#pragma once
// TKvBrowseFolderDlg: the system's folder-browse dialog as a component. It preselects a start
// folder, lets OK follow whether the highlighted item is an existing folder, centres itself on
// the screen, can add a help button, and returns the chosen folder without a trailing "/".
// PickFolder is the directory edit's way in.

#include <QString>
#include <functional>

namespace kv::ui {
class TFolderBrowseDialog;
}

namespace kv::edits {

enum TBrowseKind { bfFolders, bfComputers };
enum TDialogPosition { dpDefault, dpScreenCenter };

class TKvBrowseFolderDlg {
public:
  using TNotify = std::function<void(TKvBrowseFolderDlg &Sender)>;

  TKvBrowseFolderDlg() = default;
  TKvBrowseFolderDlg(const TKvBrowseFolderDlg &) = delete;
  TKvBrowseFolderDlg &operator=(const TKvBrowseFolderDlg &) = delete;

  TBrowseKind BrowseKind = bfFolders;
  bool DesktopRoot = true;
  QString DialogText;
  QString FolderName; // in: the folder to preselect; out: the chosen folder
  int HelpContext = 0;
  TDialogPosition Position = dpScreenCenter;
  TNotify OnInitialized; // the dialog is up and the preselection asked for
  TNotify OnSelChanged;  // after each change of the highlighted item

  // Runs the dialog modally; true when the user confirmed a folder. Throws std::system_error
  // when the tree's root cannot be had (network computers are not browsable here).
  bool RunDialog();

  // The item highlighted while browsing; after a confirmed run equal to FolderName.
  const QString &HighlightedName() const { return highlighted_; }
  // Picture index of the chosen item in the system's list (folders: 0).
  int ChosenImageIndex() const { return image_index_; }
  // The dialog while it is open, else nullptr.
  ui::TFolderBrowseDialog *Dialog() const { return dialog_; }

  // The two reports of the dialog, as the component handles them.
  void Initialized(ui::TFolderBrowseDialog &dialog);
  void SelectionChanged(ui::TFolderBrowseDialog &dialog, const QString &path);

private:
  ui::TFolderBrowseDialog *dialog_ = nullptr;
  QString highlighted_;
  int image_index_ = 0;
};

// Lets the user pick a folder, starting at `Directory`, with `Text` above the tree and a help
// button for `HelpContext` (none for 0). True on OK, with `Directory` set to the folder.
bool PickFolder(QString &Directory, const QString &Text, int HelpContext);

} // namespace kv::edits

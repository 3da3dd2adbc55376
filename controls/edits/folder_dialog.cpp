#include "controls/edits/folder_dialog.h"

#include <system_error>

#include "controls/edits/bitmap_utils.h"
#include "controls/edits/path_util.h"
#include "platform/ui/application.h"
#include "platform/ui/folder_browse_dialog.h"
#include "platform/ui/task_windows.h"

namespace kv::edits {

bool TKvBrowseFolderDlg::RunDialog() {
  // The network neighbourhood has no counterpart here: its lookup fails as the shell's would.
  if (BrowseKind == bfComputers)
    throw std::system_error(std::make_error_code(std::errc::not_supported),
                            "Die Netzwerkumgebung kann hier nicht durchsucht werden");

  // Both the desktop and the computer's drives are "/" on this system.
  ui::TFolderBrowseDialog dialog;
  dialog.SetText(DialogText);
  dialog.SetRootFolder(QStringLiteral("/"));
  dialog.OnInitialized = [this](ui::TFolderBrowseDialog &d) { Initialized(d); };
  dialog.OnSelectionChanged = [this](ui::TFolderBrowseDialog &d, const QString &path) {
    SelectionChanged(d, path);
  };

  bool ok = false;
  QString chosen;
  {
    ui::TTaskWindowsDisabled others(&dialog);
    struct Forget {
      ui::TFolderBrowseDialog *&dialog;
      ~Forget() { dialog = nullptr; }
    } forget{dialog_};
    ok = dialog.exec() == QDialog::Accepted;
    chosen = dialog.HighlightedPath();
  }
  if (!ok) return false;
  FolderName = StripTrailingBackslash(chosen);
  highlighted_ = FolderName;
  image_index_ = 0;
  return true;
}

void TKvBrowseFolderDlg::Initialized(ui::TFolderBrowseDialog &dialog) {
  if (Position == dpScreenCenter) CenterWindowOnScreen(&dialog);
  dialog_ = &dialog;
  if (BrowseKind == bfComputers || FolderExists(FolderName)) dialog.SetSelection(FolderName);
  if (HelpContext != 0) {
    const int context = HelpContext;
    dialog.AddHelpButton(QStringLiteral("&Hilfe"),
                         [context, &dialog] { ui::Application().HelpContext(context, &dialog); });
  }
  if (OnInitialized) OnInitialized(*this);
}

void TKvBrowseFolderDlg::SelectionChanged(ui::TFolderBrowseDialog &dialog, const QString &path) {
  dialog_ = &dialog;
  if (!path.isEmpty()) {
    highlighted_ = path;
    dialog.EnableOK(FolderExists(path));
  } else {
    highlighted_.clear();
    dialog.EnableOK(false);
  }
  if (OnSelChanged) OnSelChanged(*this);
}

bool PickFolder(QString &Directory, const QString &Text, int HelpContext) {
  TKvBrowseFolderDlg dlg;
  dlg.DialogText = Text;
  dlg.FolderName = Directory;
  dlg.HelpContext = HelpContext;
  const bool ok = dlg.RunDialog();
  if (ok) Directory = dlg.FolderName;
  return ok;
}

} // namespace kv::edits

#pragma once
// The directory edit's rules without a widget: the dialog road of its button (start folder,
// which dialog, what the text becomes), a dropped name, and the long and short forms of its
// text. The dialogs are functions, so tests can stand in
// for the user.

#include <QString>
#include <functional>
#include <optional>

#include "platform/ui/select_directory.h"

class QObject;

namespace kv::edits {

enum TDirDialogKind { dkVCL, dkWin32 };

// OnBeforeDialog / OnAfterDialog: the handler may change Name and clear Action.
using TExecOpenDialogEvent = std::function<void(QObject *Sender, QString &Name, bool &Action)>;
// The system's folder dialog (PickFolder) and the framework's (SelectDirectory).
using TPickFolderFunc = std::function<bool(QString &Directory, const QString &Text, int HelpContext)>;
using TSelectDirectoryFunc =
    std::function<bool(QString &Directory, ui::TSelectDirOpts Options, int HelpContext)>;

// The system's folder dialog and the framework's, as the program uses them.
TPickFolderFunc SystemFolderPicker();
TSelectDirectoryFunc FrameworkFolderPicker();

class TDirectoryEditModel {
public:
  QObject *Sender = nullptr; // the edit, handed to the events
  ui::TSelectDirOpts DialogOptions = 0;
  QString InitialDir;
  QString DialogText;
  TDirDialogKind DialogKind = dkVCL;
  bool MultipleDirs = false;
  int HelpContext = 0;
  TExecOpenDialogEvent OnBeforeDialog, OnAfterDialog;
  TPickFolderFunc PickFolder = SystemFolderPicker();
  TSelectDirectoryFunc SelectDirectory = FrameworkFolderPicker();

  // The start folder for the text `name`: InitialDir for an empty one (or "/" when that is
  // empty too), "/" for one that is not an existing folder.
  QString StartFolder(const QString &name) const;
  // Runs the dialog for an edit holding `text` with `sel_length` characters selected from
  // `sel_start`; `focus_edit` runs after the dialog. Returns the new text, or nothing when the
  // text stays (Action cleared, dialog cancelled). Exceptions of the dialogs pass on.
  std::optional<QString> RunDialog(const QString &text, int sel_start, int sel_length,
                                   const std::function<void()> &focus_edit = {});
  // The text after dropping `name` onto an edit holding `text`: the folder of an existing file
  // (with its trailing "/"), else the name as it is; in front of the text with MultipleDirs.
  QString DroppedText(const QString &name, const QString &text) const;

  // The text in long or short form; with MultipleDirs each ";"-separated piece on its own, an
  // empty piece adding no separator.
  QString LongForm(const QString &text) const;
  QString ShortForm(const QString &text) const;

private:
  QString Converted(const QString &text, QString (*convert)(const QString &)) const;
  QString Joined(const QString &name, const QString &text) const;
};

} // namespace kv::edits

#include "controls/edits/dir_edit_model.h"

#include <QFileInfo>

#include "controls/edits/folder_dialog.h"
#include "controls/edits/path_util.h"
#include "controls/edits/str_util.h"

namespace kv::edits {

TPickFolderFunc SystemFolderPicker() {
  return [](QString &dir, const QString &text, int help) { return PickFolder(dir, text, help); };
}

TSelectDirectoryFunc FrameworkFolderPicker() {
  return [](QString &dir, ui::TSelectDirOpts options, int help) {
    return ui::SelectDirectory(dir, options, help);
  };
}

QString TDirectoryEditModel::StartFolder(const QString &name) const {
  QString start = name;
  if (start.isEmpty()) start = InitialDir.isEmpty() ? QStringLiteral("/") : InitialDir;
  if (!FolderExists(start)) start = QStringLiteral("/");
  return start;
}

QString TDirectoryEditModel::Joined(const QString &name, const QString &text) const {
  return !text.isEmpty() && MultipleDirs ? name + QLatin1Char(';') + text : name;
}

std::optional<QString> TDirectoryEditModel::RunDialog(const QString &text, int sel_start, int sel_length,
                                                      const std::function<void()> &focus_edit) {
  QString name = text;
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(Sender, name, action);
  if (!action) return std::nullopt;
  name = StartFolder(name);
  // There are no critical-error boxes to switch off here, and new-style controls always exist.
  if (DialogKind == dkWin32)
    action = PickFolder && PickFolder(name, DialogText, HelpContext);
  else
    action = SelectDirectory && SelectDirectory(name, DialogOptions, HelpContext);
  if (focus_edit) focus_edit();
  if (OnAfterDialog) OnAfterDialog(Sender, name, action);
  if (!action) return std::nullopt;
  QString rest = text;
  if (sel_length > 0 && sel_start >= 0 && sel_start < rest.size()) rest.remove(sel_start, sel_length);
  if (!name.isEmpty() && FolderExists(name)) InitialDir = name;
  return Joined(name, rest);
}

QString TDirectoryEditModel::DroppedText(const QString &name, const QString &text) const {
  const QFileInfo info(name);
  QString folder = name;
  if (info.exists() && !info.isDir()) {
    folder = name.left(name.lastIndexOf(QLatin1Char('/')) + 1);
  }
  return Joined(folder, text);
}

QString TDirectoryEditModel::Converted(const QString &text, QString (*convert)(const QString &)) const {
  if (!MultipleDirs) return convert(text);
  QString result;
  for (int position = 1; position <= text.size();) {
    const QString piece = convert(TakeUntilDelimiter(text, position, QStringLiteral(";")));
    if (!result.isEmpty() && !piece.isEmpty()) result += QLatin1Char(';');
    result += piece;
  }
  return result;
}

QString TDirectoryEditModel::LongForm(const QString &text) const {
  return Converted(text, ExpandToLongPath);
}
QString TDirectoryEditModel::ShortForm(const QString &text) const {
  return Converted(text, ReduceToShortPath);
}

} // namespace kv::edits

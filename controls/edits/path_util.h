#pragma once
// Path functions of the folder controls: folder existence, the trailing separator, and the
// long and short forms of a path. Linux keeps no alternate short names, so the two forms of a
// path are the path itself.

#include <QString>

namespace kv::edits {

// True when `name` names an existing folder (a link to a folder counts).
bool FolderExists(const QString &name);
// Removes one trailing "/" from a text longer than one character, except from a drive-style
// root (a letter, ":" and the separator), so "/" and "C:/" stay.
QString StripTrailingBackslash(const QString &name);
// The name of the last component of `path` when it exists, else "" (each form: a file has but
// one name here).
QString LongComponentName(const QString &path);
QString ShortComponentName(const QString &path);
// `path` unchanged: no component has another name, and no pattern in it is expanded.
QString ExpandToLongPath(const QString &path);
QString ReduceToShortPath(const QString &path);

} // namespace kv::edits

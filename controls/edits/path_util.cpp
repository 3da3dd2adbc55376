#include "controls/edits/path_util.h"

#include <sys/stat.h>

#include <QFileInfo>

namespace kv::edits {

bool FolderExists(const QString &name) {
  if (name.isEmpty()) return false;
  struct stat st {};
  return stat(QFile::encodeName(name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString StripTrailingBackslash(const QString &name) {
  if (name.size() <= 1 || !name.endsWith(QLatin1Char('/'))) return name;
  const bool drive_root = name.size() == 3 && name[1] == QLatin1Char(':') &&
                          ((name[0] >= QLatin1Char('A') && name[0] <= QLatin1Char('Z')) ||
                           (name[0] >= QLatin1Char('a') && name[0] <= QLatin1Char('z')));
  return drive_root ? name : name.left(name.size() - 1);
}

namespace {
QString ComponentName(const QString &path) {
  struct stat st {};
  if (path.isEmpty() || lstat(QFile::encodeName(path).constData(), &st) != 0) return {};
  QString p = path;
  while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
    p.chop(1);
  return p == QLatin1String("/") ? p : p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}
} // namespace

QString LongComponentName(const QString &path) {
  return ComponentName(path);
}
QString ShortComponentName(const QString &path) {
  return ComponentName(path);
}
QString ExpandToLongPath(const QString &path) {
  return path;
}
QString ReduceToShortPath(const QString &path) {
  return path;
}

} // namespace kv::edits

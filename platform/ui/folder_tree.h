#pragma once
// A tree of the file system's folders (no files) for the folder dialogs. Folders load in the
// background; a folder asked to be highlighted is highlighted, expanded to and scrolled into
// view as soon as the folders above it have loaded, and kept in view while they are sorted,
// until the user moves in the tree.

#include <QSet>
#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace kv::ui {

class TFolderTree : public QTreeView {
public:
  explicit TFolderTree(QWidget *parent = nullptr);

  // Starts loading under `root` and shows it ("/" shows "/" itself as the one top item).
  void SetRoot(const QString &root);
  const QString &Root() const { return root_; }
  // Highlights the folder `path` once it is loaded; a path that is no folder under the root is
  // dropped. Returns false when it was dropped.
  bool SelectWhenLoaded(const QString &path);
  // True while a folder asked for waits for its parent to load.
  bool SelectionPending() const { return !pending_.isEmpty(); }
  // The highlighted folder's path; "" when none is highlighted.
  QString CurrentPath() const;
  QFileSystemModel *Model() const { return model_; }

protected:
  // The user's own moves end the following of a folder asked for.
  void mousePressEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;

private:
  void TryPending();

  QFileSystemModel *model_ = nullptr;
  QString root_ = QStringLiteral("/");
  QString pending_;
  QSet<QString> loaded_;
  bool follow_ = false; // keep the highlighted folder in view while the tree still sorts
};

} // namespace kv::ui

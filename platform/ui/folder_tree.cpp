#include "platform/ui/folder_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

namespace kv::ui {

TFolderTree::TFolderTree(QWidget *parent) : QTreeView(parent) {
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setReadOnly(true);
  setModel(model_);
  setHeaderHidden(true);
  for (int column = 1; column < model_->columnCount(); ++column)
    hideColumn(column);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString &path) {
    loaded_.insert(QDir::cleanPath(path));
    TryPending();
  });
  connect(model_, &QAbstractItemModel::layoutChanged, this, [this] {
    if (follow_ && currentIndex().isValid()) scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
  });
}

void TFolderTree::SetRoot(const QString &root) {
  root_ = root.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(root);
  const QModelIndex top = model_->setRootPath(root_);
  setRootIndex(root_ == QLatin1String("/") ? QModelIndex() : top);
}

bool TFolderTree::SelectWhenLoaded(const QString &path) {
  pending_ = QDir::cleanPath(path);
  const bool under_root =
      root_ == QLatin1String("/") || pending_ == root_ || pending_.startsWith(root_ + QLatin1Char('/'));
  if (path.isEmpty() || !QFileInfo(pending_).isDir() || !under_root) {
    pending_.clear();
    return false;
  }
  follow_ = true;
  TryPending();
  return true;
}

void TFolderTree::TryPending() {
  if (pending_.isEmpty()) return;
  const QModelIndex index = model_->index(pending_);
  if (!index.isValid()) return;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
    expand(up);
  if (index.parent().isValid() && model_->canFetchMore(index.parent())) model_->fetchMore(index.parent());
  if (currentIndex() != index) setCurrentIndex(index);
  scrollTo(index, QAbstractItemView::PositionAtCenter);
  // Done once every folder above it has loaded: until then rows may still be inserted above it.
  for (QString up = pending_; up != root_ && up != QLatin1String("/");) {
    up = QFileInfo(up).path();
    if (!loaded_.contains(up)) return;
  }
  pending_.clear();
}

void TFolderTree::mousePressEvent(QMouseEvent *event) {
  follow_ = false;
  QTreeView::mousePressEvent(event);
}

void TFolderTree::keyPressEvent(QKeyEvent *event) {
  follow_ = false;
  QTreeView::keyPressEvent(event);
}

void TFolderTree::wheelEvent(QWheelEvent *event) {
  follow_ = false;
  QTreeView::wheelEvent(event);
}

QString TFolderTree::CurrentPath() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? model_->filePath(index) : QString();
}

} // namespace kv::ui

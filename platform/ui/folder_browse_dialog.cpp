#include "platform/ui/folder_browse_dialog.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/folder_tree.h"

namespace kv::ui {

TFolderBrowseDialog::TFolderBrowseDialog(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Ordner suchen"));
  setObjectName(QStringLiteral("FolderBrowseDialog"));

  text_ = new QLabel(this);
  text_->setWordWrap(true);
  text_->hide();
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->hide();
  tree_ = new TFolderTree(this);
  tree_->setMinimumSize(300, 280);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  auto *cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons_ = new QHBoxLayout;
  buttons_->addStretch(1);
  buttons_->addWidget(ok_);
  buttons_->addWidget(cancel);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(status_);
  layout->addWidget(tree_, 1);
  layout->addLayout(buttons_);

  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    if (OnSelectionChanged) OnSelectionChanged(*this, HighlightedPath());
  });
}

TFolderBrowseDialog::~TFolderBrowseDialog() = default;

void TFolderBrowseDialog::SetText(const QString &text) {
  text_->setText(text);
  text_->setVisible(!text.isEmpty());
}

void TFolderBrowseDialog::SetRootFolder(const QString &path) {
  root_ = path;
}

void TFolderBrowseDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (initialized_) return;
  initialized_ = true;
  tree_->SetRoot(root_);
  // The shell's default highlight: the top of the tree.
  if (!tree_->currentIndex().isValid()) {
    const QModelIndex top = tree_->rootIndex().isValid() ? tree_->rootIndex() : tree_->model()->index(0, 0);
    tree_->setCurrentIndex(top);
    tree_->expand(top);
  }
  if (OnInitialized) OnInitialized(*this);
}

void TFolderBrowseDialog::SetSelection(const QString &path) {
  tree_->SelectWhenLoaded(path);
}
bool TFolderBrowseDialog::SelectionPending() const {
  return tree_->SelectionPending();
}
QString TFolderBrowseDialog::HighlightedPath() const {
  return tree_->CurrentPath();
}
void TFolderBrowseDialog::EnableOK(bool enabled) {
  ok_->setEnabled(enabled);
}
bool TFolderBrowseDialog::OKEnabled() const {
  return ok_->isEnabled();
}

void TFolderBrowseDialog::SetStatusText(const QString &text) {
  status_->setText(text);
  status_->setVisible(!text.isEmpty());
}

QString TFolderBrowseDialog::StatusText() const {
  return status_->text();
}

QPushButton *TFolderBrowseDialog::AddHelpButton(const QString &caption, std::function<void()> clicked) {
  auto *button = new QPushButton(caption, this);
  button->setAutoDefault(false);
  buttons_->insertWidget(0, button);
  connect(button, &QPushButton::clicked, this, [clicked = std::move(clicked)] {
    if (clicked) clicked();
  });
  return button;
}

} // namespace kv::ui

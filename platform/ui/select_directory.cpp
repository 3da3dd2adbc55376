#include "platform/ui/select_directory.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>

#include "platform/ui/application.h"
#include "platform/ui/folder_tree.h"
#include "platform/ui/message_box.h"

namespace kv::ui {

TSelectDirDialog::TSelectDirDialog(const QString &directory, TSelectDirOpts options, int help_context,
                                   QWidget *parent)
    : QDialog(parent), options_(options), help_context_(help_context) {
  setWindowTitle(QStringLiteral("Verzeichnis auswählen"));
  setObjectName(QStringLiteral("SelectDirDialog"));

  auto *grid = new QGridLayout(this);
  if (options & sdAllowCreate) {
    name_ = new QLineEdit(this);
    auto *label = new QLabel(QStringLiteral("Verzeichnis&name:"), this);
    label->setBuddy(name_);
    grid->addWidget(label, 0, 0);
    grid->addWidget(name_, 1, 0);
  } else {
    current_ = new QLabel(this);
    current_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(current_, 1, 0);
  }

  tree_ = new TFolderTree(this);
  tree_->SetRoot(QStringLiteral("/"));
  tree_->setMinimumSize(240, 220);
  auto *tree_label = new QLabel(QStringLiteral("&Verzeichnisse:"), this);
  tree_label->setBuddy(tree_);
  grid->addWidget(tree_label, 2, 0);
  grid->addWidget(tree_, 3, 0, 3, 1);

  // Linux has no drive letters; the mounted file systems take their place.
  drives_ = new QComboBox(this);
  for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) drives_->addItem(volume.rootPath());
  auto *drive_label = new QLabel(QStringLiteral("&Laufwerke:"), this);
  drive_label->setBuddy(drives_);
  grid->addWidget(drive_label, 6, 0);
  grid->addWidget(drives_, 7, 0);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  auto *cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
  help_ = new QPushButton(QStringLiteral("&Hilfe"), this);
  help_->setVisible(help_context != 0);
  help_->setAutoDefault(false);
  grid->addWidget(ok_, 1, 1);
  grid->addWidget(cancel, 2, 1);
  grid->addWidget(help_, 3, 1, Qt::AlignTop);

  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] { Application().HelpContext(help_context_, this); });
  connect(drives_, &QComboBox::activated, this, [this](int i) { SetDirectory(drives_->itemText(i)); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    if (!tree_->CurrentPath().isEmpty()) ShowFolder(tree_->CurrentPath());
  });

  SetDirectory(QFileInfo(directory).isDir() ? directory : QDir::rootPath());
}

void TSelectDirDialog::ShowFolder(const QString &path) {
  if (name_) name_->setText(QDir::toNativeSeparators(path));
  if (current_) current_->setText(path);
}

void TSelectDirDialog::SetDirectory(const QString &path) {
  const QString clean = QDir::cleanPath(QDir(path).absolutePath());
  tree_->SelectWhenLoaded(clean);
  ShowFolder(clean);
}

QString TSelectDirDialog::Directory() const {
  if (name_) {
    const QString typed = name_->text().trimmed();
    if (typed.isEmpty()) return {};
    // A relative name is taken inside the folder the tree shows.
    const QString base = tree_->CurrentPath().isEmpty() ? QDir::rootPath() : tree_->CurrentPath();
    return QDir::cleanPath(QDir(base).absoluteFilePath(typed));
  }
  return current_->text();
}

void TSelectDirDialog::accept() {
  const QString dir = Directory();
  if (dir.isEmpty()) return;
  if ((options_ & sdAllowCreate) && (options_ & sdPrompt) && !QFileInfo(dir).isDir()) {
    MessageRequest ask;
    ask.text = QStringLiteral("Das angegebene Verzeichnis existiert nicht. Soll es angelegt werden?");
    ask.caption = QStringLiteral("Bestätigung");
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    ask.default_answer = MessageAnswer::Yes;
    if (ShowMessage(this, ask) != MessageAnswer::Yes) return;
  }
  QDialog::accept();
}

bool SelectDirectory(QString &directory, TSelectDirOpts options, int help_context, QWidget *parent) {
  TSelectDirDialog dialog(directory, options, help_context, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  directory = dialog.Directory();
  if ((options & sdPerformCreate) && !QFileInfo(directory).isDir() && !QDir().mkpath(directory))
    throw EInOutError("Verzeichnis kann nicht erstellt werden");
  return true;
}

} // namespace kv::ui

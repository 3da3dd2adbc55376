#pragma once
// The GUI framework's own folder dialog, "Verzeichnis auswählen": a drive list, a folder tree,
// the folder's name (editable when new folders may be named) and OK, "Abbrechen", "&Hilfe".

#include <QDialog>
#include <QString>
#include <stdexcept>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::ui {

class TFolderTree;

enum TSelectDirOpt : unsigned {
  sdAllowCreate = 1,   // a folder that does not exist may be named
  sdPerformCreate = 2, // a named folder that does not exist is created after OK
  sdPrompt = 4,        // with sdAllowCreate: OK on a missing folder asks first
};
using TSelectDirOpts = unsigned; // TSelectDirOpt bits

// A folder could not be created; the message is the German text for the user.
class EInOutError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TSelectDirDialog : public QDialog {
public:
  TSelectDirDialog(const QString &directory, TSelectDirOpts options, int help_context,
                   QWidget *parent = nullptr);

  // The folder the dialog shows or names at present.
  QString Directory() const;
  // Moves the tree (and the name) to `path`.
  void SetDirectory(const QString &path);
  QLineEdit *NameEdit() const { return name_; }
  TFolderTree *Tree() const { return tree_; }
  QComboBox *Drives() const { return drives_; }
  QPushButton *HelpButton() const { return help_; }
  QPushButton *OKButton() const { return ok_; }

  // OK: with sdPrompt, a folder that does not exist is confirmed first ("Nein" keeps the dialog).
  void accept() override;

private:
  void ShowFolder(const QString &path);

  TSelectDirOpts options_;
  int help_context_;
  TFolderTree *tree_ = nullptr;
  QLineEdit *name_ = nullptr;
  QLabel *current_ = nullptr;
  QComboBox *drives_ = nullptr;
  QPushButton *ok_ = nullptr;
  QPushButton *help_ = nullptr;
};

// Runs the dialog modally, starting at `directory`. True on OK, with `directory` set to the
// chosen folder; with sdPerformCreate a missing folder is then created with its parents, and a
// failure throws EInOutError "Verzeichnis kann nicht erstellt werden".
bool SelectDirectory(QString &directory, TSelectDirOpts options, int help_context, QWidget *parent = nullptr);

} // namespace kv::ui

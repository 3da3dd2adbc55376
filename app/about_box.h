#pragma once
// TAboutBox: the time client's "Info" window: logo, product name, release and date of the
// program file, the maker's notice and the disclaimer. Open it modally:
//   TAboutBox box(mainWindow);
//   box.exec();

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class TAboutBox;
}

namespace kv::app {

class TAboutBox : public QDialog {
  Q_OBJECT

public:
  // `programDirectory`: the folder whose "korvan" is described (with a trailing "/"); the
  // program's own folder when empty.
  explicit TAboutBox(QWidget *parent = nullptr, const QString &programDirectory = {});
  ~TAboutBox() override;

  // The four numbers of the version record of `FileName`. False, with the four left as they
  // were, when the file cannot be read or carries no record.
  static bool ReadVersionNumbers(const std::string &FileName, uint16_t &Major, uint16_t &Minor,
                                 uint16_t &Release, uint16_t &Build);

  // Writes release and date of the program file into the version label.
  void FormCreate();
  void Button1Click();

private:
  std::unique_ptr<Ui::TAboutBox> ui;
  QString programDirectory_;
};

} // namespace kv::app

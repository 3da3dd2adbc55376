#include "app/about_box.h"

#include "ui_aboutbox.h"

#include <QGuiApplication>
#include <QScreen>
#include <array>
#include <sys/stat.h>

#include "platform/datetime.h"
#include "platform/ui/application.h"
#include "platform/version.h"

static void InitAboutResources() {
  Q_INIT_RESOURCE(korvane);
}

namespace kv::app {

namespace {

// Closes the version label; eleven characters, the last one ")".
constexpr const char *kVersionSuffix = ", Linux/Qt)";
static_assert(std::char_traits<char>::length(kVersionSuffix) == 11);

} // namespace

TAboutBox::TAboutBox(QWidget *parent, const QString &programDirectory)
    : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()),
      programDirectory_(programDirectory.isEmpty() ? ui::Application().ProgramDirectory()
                                                   : programDirectory) {
  InitAboutResources();
  ui->setupUi(this);
  // Dialog border, centred on the screen.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(404, 197);
  if (QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  connect(ui->Button1, &QPushButton::clicked, this, &TAboutBox::Button1Click);
  FormCreate();
}

TAboutBox::~TAboutBox() = default;

bool TAboutBox::ReadVersionNumbers(const std::string &FileName, uint16_t &Major, uint16_t &Minor,
                                   uint16_t &Release, uint16_t &Build) {
  std::array<uint16_t, 4> numbers{};
  if (platform::ReadFileVersion(FileName, numbers) != platform::VersionRead::Found) return false;
  Major = numbers[0];
  Minor = numbers[1];
  Release = numbers[2];
  Build = numbers[3];
  return true;
}

void TAboutBox::FormCreate() {
  // The program file of this product has a fixed name, whatever name it was started under.
  const std::string file = programDirectory_.toStdString() + "korvan";
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  ReadVersionNumbers(file, major, minor, release, build);
  QString date = QStringLiteral("unbekannt");
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    const platform::TDateTime utc =
        platform::InstantToDateTime({st.st_mtim.tv_sec, int32_t(st.st_mtim.tv_nsec)});
    date = QString::fromStdString(platform::DateToStr(platform::UtcToLocal(utc)));
  }
  QString text = QStringLiteral("Rel. ") + QString::number(build) + QStringLiteral(" vom ") + date;
  text += QStringLiteral(" (") + QString::number(major) + QStringLiteral("-") + QString::number(build) +
          QString::fromLatin1(kVersionSuffix);
  ui->Version->setText(text);
}

void TAboutBox::Button1Click() {
  accept();
}

} // namespace kv::app

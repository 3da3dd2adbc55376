#pragma once
// TKvWebUpdate: checks a web server for a newer release and installs it. It fetches a small HTML
// information page, reads the release data from its META lines, compares the release found there
// with the one this program carries, asks its owner through an event, downloads the installer
// into a private temporary folder and starts it. All work runs on the GUI thread; a transfer
// reports its progress and lets the application process its events every ProgressIntervalMs
// while it runs.
//
// An installer is started only when the page (with every page it redirected to) and the
// installer came over HTTPS with a verified certificate and the download is complete; anything
// else is kept where it was downloaded and not started.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace kv::net {
class THttpTransfer;
}

namespace kv::app {

class Tfrm_ShowInfoUpdate;

enum TKvVersionFormat { vfStandard, vfString, vfNumber };
enum TKvUpdateOption { uoRunUpdate, uoTerminate, uoOverwrite };
using TKvUpdateOptions = std::set<TKvUpdateOption>;

class TKvProductInfo {
public:
  TKvProductInfo() { SetURL(""); }
  // Address of the information page. Setting it puts "http://" in front of a text that starts
  // with neither "http://" nor "https://" (any case), so the default is "http://".
  const std::string &URL() const { return url_; }
  void SetURL(const std::string &url);

  std::string Version = "1.0"; // the release this program carries
  TKvVersionFormat VersionFormat = vfStandard;

private:
  std::string url_;
};

// META names looked for on the page.
struct TKvTagInfo {
  std::string Author = "kvAuthor";
  std::string Email = "kvEmail";
  std::string ClientFileName = "kvClientSideName";
  std::string Download = "kvDownload";
  std::string ProductName = "kvProduct";
  std::string Redirection = "kvRedirection";
  std::string RunParameters = "kvRunParameters";
  std::string Version = "kvVersion";
};

// Captions of the information window.
struct TKvInfoCaption {
  QString OkButton = QStringLiteral("&OK");
  QString CancelButton = QStringLiteral("&Cancel");
  QString CheckForUpdate = QStringLiteral("C&heck for updates in the future");
};

// Version comparisons, <0, 0 or >0 as `a` is older than, equal to or newer than `b`.
// Dot-separated numbers, each compared by value; a missing or unreadable number counts as 0.
int CompareStandardVersions(const std::string &a, const std::string &b);
// Byte by byte, except that runs of digits are compared by their value ("Release 100" is newer
// than "Release 27").
int CompareVersionTexts(const std::string &a, const std::string &b);
// The whole text as a decimal number with "." as the decimal point; nothing when it is not one.
std::optional<double> VersionNumber(const std::string &text);

// The parts of an http or https address. Port is the explicit one or the scheme's default.
struct TKvURLParts {
  std::string Scheme; // "http" or "https"
  std::string Host;
  int Port = 0;
  std::string Path; // from the first "/", "/" at least; without a "#" fragment
  // The address put back together.
  std::string Text() const;
};

class TKvWebUpdate : public QObject {
  Q_OBJECT

public:
  using TNotifyEvent = std::function<void(TKvWebUpdate *Sender)>;
  using TDownloadFileEvent = std::function<void(TKvWebUpdate *Sender, const std::string &FileName)>;
  using TUpdateAvailableEvent = std::function<void(TKvWebUpdate *Sender, const std::string &ActualVersion,
                                                   const std::string &NewVersion, bool &CanUpdate)>;
  using TGetClientFileNameEvent = std::function<void(TKvWebUpdate *Sender, std::string &FileName)>;
  using TClientFileExistsEvent =
      std::function<void(TKvWebUpdate *Sender, std::string &FileName, bool &Overwrite)>;
  using TShowInfoEvent = std::function<void(TKvWebUpdate *Sender, bool &ShowInfo, bool &CheckForUpdate)>;
  using TAfterShowInfoEvent = std::function<void(TKvWebUpdate *Sender, bool CheckForUpdate)>;
  using TDownloadEvent = std::function<void(TKvWebUpdate *Sender, int64_t Total, int64_t Downloaded)>;

  // Redirections from page to page followed in a row; one more fails the fetch.
  static constexpr int MaxRedirections = 5;

  explicit TKvWebUpdate(QObject *parent = nullptr);
  // Stops a running transfer first. Removes the private folder unless a download is kept in it.
  ~TKvWebUpdate() override;

  TKvTagInfo TagInfo;
  TKvProductInfo ProductInfo;
  TKvInfoCaption InfoCaption;
  std::string UserName;
  std::string Password;
  TKvUpdateOptions Options{uoRunUpdate, uoTerminate};
  // The component's own version, "1.1"; it cannot be changed.
  std::string Version() const;

  TDownloadFileEvent OnBeforeDownload;
  TDownloadFileEvent OnAfterDownload; // after the installer transfer, whatever its outcome
  TUpdateAvailableEvent OnUpdateAvailable;
  TGetClientFileNameEvent OnGetClientFileName;
  TClientFileExistsEvent OnClientFileExists;
  TShowInfoEvent OnBeforeShowInfo;
  TAfterShowInfoEvent OnAfterShowInfo;
  TNotifyEvent OnBeforeGetInfo;
  TNotifyEvent OnCannotExecute; // the installer could not be started
  TNotifyEvent OnAfterGetInfo;
  TNotifyEvent OnNoUpdateFound;
  TDownloadEvent OnDownload; // at most once a ProgressIntervalMs, and once at the end
  TNotifyEvent OnDownloadError;

  // Limits of the transfers.
  int64_t MaxPageSize = 1 << 20;
  int64_t MaxInstallerSize = int64_t(256) << 20;
  int ConnectTimeoutMs = 15000;
  int StallTimeoutMs = 30000; // a server silent this long ends the transfer
  // A transfer slower than this on average once the grace time has passed ends too.
  int RateGraceMs = 30000;
  int64_t MinBytesPerSecond = 1024;
  // How often a transfer reports its progress and lets the application process its events.
  int ProgressIntervalMs = 50;
  // Trusted certificates for HTTPS; empty: the system's store.
  std::string CAFile;
  // Ends the program after a started installer; the application's Terminate unless replaced.
  std::function<void()> Terminate;

  // The whole check. True only when the installer was downloaded and, with uoRunUpdate,
  // started.
  bool CheckAndUpdate();
  // Fetches and parses the information page, following its redirections.
  void GetInfo();
  // Reads the page lines into the eight page values.
  void ParseInfo();
  // The CONTENT value of one META line.
  std::string MetaContent(const std::string &Line) const;
  // The web release is newer than ProductInfo.Version; raises OnNoUpdateFound when not.
  bool IsNewerVersion();
  // Chooses the local path, applies the overwrite rule and downloads the installer.
  void DownloadUpdate();
  // One GET into the page lines or into the file `FileName`; sets the success flag.
  void HttpGet(const std::string &URL, const std::string &UserName, const std::string &FileName, bool ToFile,
               bool RequireLength, const std::string &Password);
  // Releases the connection of the last transfer.
  void CloseInternetHandles();
  // A running transfer stops at its next check.
  void CancelTransfer() { abort_ = true; }
  // Shows the information page in the information window; true when it was closed with OK.
  virtual bool ShowInfo();
  // The private temporary folder followed by the last component of the client-side file name
  // read from the page; empty when that name is unusable or the folder cannot be made.
  virtual void GetClientFileName(std::string &FileName);
  // Splits an address; false when it is not a usable http or https address.
  virtual bool SplitURL(const std::string &URL, TKvURLParts &Parts);

  // State of the last check.
  bool Busy() const { return busy_; }
  bool Success() const { return success_; }
  // The last transfer came over HTTPS with a verified certificate.
  bool TransferSecure() const { return secure_; }
  // The installer downloaded by the last check may be started: it and every page that led to
  // it came complete over HTTPS with a verified certificate.
  bool DownloadVerified() const { return success_ && pageSecure_ && installerSecure_; }
  // Why the last transfer failed, in English.
  const std::string &LastTransferError() const { return lastError_; }
  const std::string &ClientFile() const { return clientFile_; }
  const std::string &PrivateDirectory() const { return privateDir_; }
  // The page values.
  const std::string &WebVersion() const { return webVersion_; }
  const std::string &DownloadURL() const { return downloadURL_; }
  const std::string &ClientFileName() const { return clientFileName_; }
  const std::string &RedirectionURL() const { return redirectionURL_; }
  const std::string &Author() const { return author_; }
  const std::string &Email() const { return email_; }
  const std::string &ProductName() const { return productName_; }
  const std::string &RunParameters() const { return runParameters_; }
  // The lines of the last information page.
  std::vector<std::string> &Lines() { return lines_; }
  // Byte counters of the last transfer.
  int64_t Total() const { return total_; }
  int64_t Downloaded() const { return downloaded_; }
  // The information window, once ShowInfo has made it.
  Tfrm_ShowInfoUpdate *InfoWindow() const { return info_.get(); }

protected:
  virtual void DoDownload();
  virtual void DoDownloadError();
  virtual void DoBeforeDownload();
  virtual void DoAfterDownload();
  virtual void DoNoUpdateFound();
  virtual void DoAfterGetInfo();
  virtual void DoBeforeGetInfo();
  virtual void DoCannotExecute();

private:
  void ClearPageValues(bool all);
  bool InsidePrivateDirectory(const std::string &path) const;
  platform::ShellResult StartInstaller();

  bool busy_ = false;
  std::string clientFile_;
  std::vector<std::string> lines_;
  bool abort_ = false;
  std::unique_ptr<Tfrm_ShowInfoUpdate> info_;
  std::string webVersion_, downloadURL_, clientFileName_, redirectionURL_, author_, email_, productName_,
      runParameters_;
  bool success_ = false;
  int64_t total_ = 0, chunk_ = 0, downloaded_ = 0;
  std::unique_ptr<net::THttpTransfer> transfer_;
  bool secure_ = false;          // the last transfer
  bool pageSecure_ = false;      // every page of the last GetInfo
  bool installerSecure_ = false; // the last installer transfer
  std::string lastError_;
  std::string privateDir_;
};

// Page text split into lines at CR LF, CR or LF; a last line end adds no empty line.
std::vector<std::string> SplitPageLines(const std::string &text);

// The run parameters of a page as arguments, split at blanks (a META value holds no quotes).
std::vector<std::string> SplitRunParameters(const std::string &text);

} // namespace kv::app

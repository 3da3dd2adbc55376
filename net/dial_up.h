#pragma once
// TDialUp: lists the dial-up phone book, dials an entry synchronously or asynchronously, turns
// the connection states into English or Czech texts, raises an event for each step and hangs up.
//
// Threads: everything here runs on the GUI thread except the backend's notifier. Each report of
// an asynchronous dial is stored by the notifier and handed to the GUI thread through the
// dispatcher; OnAsyncEvent is raised there. Reports are delivered one at a time and in order:
// the notifier waits while an earlier report is still being delivered, so a long handler (a
// message box) holds the backend's later reports back.
//
// Only one TDialUp dials asynchronously at a time: reports go to the instance that started the
// latest asynchronous dial. Destroying the instance drops its reports, hangs up its connection
// and waits for the backend's threads.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/ras.h"
#include "platform/dispatcher.h"

namespace kv::net {

enum class TDialMode { dmAsync, dmSync };
enum class TLanguage { English, Czech };

// Status of an active connection, as OnActiveConnection would carry it.
struct TRasConnStatus {
  int State = 0;
  int Error = 0;
  std::string DeviceType;
  std::string DeviceName;
};

class TDialUp {
public:
  using TOnEntryGet = std::function<void(TDialUp *Sender, const std::string &EntryName)>;
  using TStandartEv = std::function<void(TDialUp *Sender)>;
  using TOnNotConn = std::function<void(TDialUp *Sender, int ErrorCode, const std::string &ErrorMessage)>;
  using TOnAsyncEvent =
      std::function<void(TDialUp *Sender, int State, int Error, const std::string &MessageText)>;
  using TOnError = std::function<void(TDialUp *Sender, int ErrorCode, const std::string &ErrorMessage)>;
  using TOnActiveConn = std::function<void(TDialUp *Sender, int Handle, const TRasConnStatus &Status,
                                           const std::string &StatusString, const std::string &EntryName,
                                           const std::string &DeviceType, const std::string &DeviceName)>;

  // Most entries a phone-book listing holds; more give ERROR_BUFFER_TOO_SMALL and no list.
  static constexpr std::size_t MaxEntries = 100;
  // Longest entry name, in characters; a longer Entry is refused by Dial.
  static constexpr std::size_t MaxEntryName = 256;
  // Error texts are cut to this many bytes (at a character boundary).
  static constexpr std::size_t MaxErrorText = 99;

  // The program's component: PPP peers in /etc/ppp/peers, dialled with "pppd".
  // `dispatcher` runs work on the GUI thread and must outlive the component.
  explicit TDialUp(platform::Dispatcher &dispatcher);
  // A component over the given backend.
  TDialUp(platform::Dispatcher &dispatcher, std::unique_ptr<RasBackend> backend);
  virtual ~TDialUp();
  TDialUp(const TDialUp &) = delete;
  TDialUp &operator=(const TDialUp &) = delete;

  // How Dial dials.
  TDialMode DialMode = TDialMode::dmAsync;
  // The phone-book entry Dial dials.
  std::string Entry;
  // Language of the state texts in OnAsyncEvent.
  TLanguage Language = TLanguage::English;
  // Entry names found by the last GetEntries.
  const std::vector<std::string> &Entries() const { return entries_; }

  TOnEntryGet OnEntryGet;           // once per entry found by GetEntries
  TStandartEv OnDialing;            // just before dialling
  TStandartEv OnConnect;            // synchronous dial succeeded
  TOnNotConn OnNotConnected;        // synchronous dial failed
  TOnAsyncEvent OnAsyncEvent;       // one report of an asynchronous dial, on the GUI thread
  TOnError OnError;                 // dial parameters unreadable, or an asynchronous dial did not start
  TOnActiveConn OnActiveConnection; // kept for owners that assign it; never raised

  // State of the last report (RASCS_*). The owner may write RASCS_Disconnected itself.
  // Safe to read and write from any thread.
  std::atomic<int> ConnectionState{0};

  // Lists the phone book into Entries (cleared first) and raises OnEntryGet for each entry.
  // Returns 0 or an error number (Entries then stays empty).
  int GetEntries();
  // Hangs up any earlier connection, then dials Entry in DialMode. Returns 0 or an error number.
  int Dial();
  // Hangs up the connection of the last dial. Returns 0, or ERROR_INVALID_HANDLE when there is none.
  int HangUp();

  // Delivers the stored report: raises OnAsyncEvent and releases the waiting notifier. Runs on
  // the GUI thread, queued there by the notifier.
  virtual void DeliverAsyncEvent();

  // Text of a report: the error text when Error is not 0, else the state's text ("" for a
  // state without one).
  std::string StateTextEnglish(int State, int Error);
  std::string StateTextCzech(int State, int Error);

  // Number of notifier calls currently waiting for an earlier report to be delivered (all
  // instances together). For diagnostics and tests.
  static int WaitingReports();

  struct Link; // state shared with the notifier; defined in dial_up.cpp

private:
  std::string ErrorText(int code);

  platform::Dispatcher &dispatcher_;
  std::unique_ptr<RasBackend> backend_;
  std::shared_ptr<Link> link_;
  std::vector<std::string> entries_;
  RasConnHandle handle_ = 0;
};

} // namespace kv::net

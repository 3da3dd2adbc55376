// TDialUp over a fake backend whose reports come from a thread of its own, with a manual
// dispatcher playing the GUI thread.

#include "net/dial_up.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"

using namespace kv::net;
using kv::platform::ManualDispatcher;
using Reports = std::vector<std::pair<int, int>>;

namespace {

// What the fake saw; outlives the fake, which the component owns.
struct FakeLog {
  std::mutex mutex;
  std::vector<RasConnHandle> hangUps;
  int paramReads = 0;
  int dials = 0;
  std::atomic<int> reportsReturned{0};
  std::atomic<bool> destroyed{false};
  std::vector<RasConnHandle> HangUps() {
    std::lock_guard lock(mutex);
    return hangUps;
  }
};

class FakeRas : public RasBackend {
public:
  explicit FakeRas(std::shared_ptr<FakeLog> log) : log_(std::move(log)) {}
  ~FakeRas() override {
    for (auto &t : threads_)
      t.join();
    log_->destroyed = true;
  }

  int EnumEntries(std::vector<std::string> &entries) override {
    entries = book;
    return enumResult;
  }
  int GetEntryDialParams(RasDialParams &params, bool &passwordSaved) override {
    ++log_->paramReads;
    passwordSaved = false;
    return std::find(book.begin(), book.end(), params.EntryName) != book.end()
               ? 0
               : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  int Dial(const RasDialParams &, RasNotifier n, RasConnHandle &handle) override {
    ++log_->dials;
    handle = nextHandle++;
    notifier = std::move(n);
    return dialResult;
  }
  int HangUp(RasConnHandle handle) override {
    std::lock_guard lock(log_->mutex);
    log_->hangUps.push_back(handle);
    return 0;
  }
  int GetErrorString(int code, std::string &text) override {
    if (code == 4242) {
      text = std::string(97, 'x') + "\xC5\x99\xC5\x99"; // 97 bytes + two 2-byte characters
      return 0;
    }
    return RasBackend::GetErrorString(code, text);
  }

  // Sends reports from a thread of the fake, as a real backend does.
  void Emit(Reports reports) {
    threads_.emplace_back([this, reports = std::move(reports), n = notifier] {
      for (auto [state, error] : reports) {
        n(WM_RASDIALEVENT, state, error);
        ++log_->reportsReturned;
      }
    });
  }

  std::vector<std::string> book{"isp"};
  int enumResult = 0;
  int dialResult = 0;
  RasConnHandle nextHandle = 7;
  RasNotifier notifier;

private:
  std::shared_ptr<FakeLog> log_;
  std::vector<std::thread> threads_;
};

struct Event {
  int state, error;
  std::string text;
  bool operator==(const Event &) const = default;
};

class DialUpTest : public ::testing::Test {
protected:
  DialUpTest() {
    auto backend = std::make_unique<FakeRas>(log);
    fake = backend.get();
    dialUp = std::make_unique<TDialUp>(gui, std::move(backend));
    dialUp->OnAsyncEvent = [this](TDialUp *sender, int state, int error, const std::string &text) {
      EXPECT_EQ(sender, dialUp.get());
      events.push_back({state, error, text});
    };
    dialUp->OnError = [this](TDialUp *, int code, const std::string &text) {
      errors.push_back({0, code, text});
    };
  }

  // Runs the GUI side until `count` reports of the fake have returned.
  bool PumpUntilReturned(int count) {
    return kvtest::WaitUntil([&] {
      gui.RunPending();
      return log->reportsReturned == count && gui.Pending() == 0;
    });
  }

  ManualDispatcher gui;
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  FakeRas *fake;
  std::unique_ptr<TDialUp> dialUp;
  std::vector<Event> events, errors;
};

struct Row {
  int state;
  const char *english, *czech;
};

const Row kTexts[] = {
    {0, "Opening port", "Otevírá se port"},
    {1, "Port opened", "Port otevřen"},
    {2, "Connecting device", "Probíhá spojování"},
    {3, "Device connected", "Navázáno spojení"},
    {4, "All devices connected", "Všechna zařízení spojena"},
    {5, "Start authenticating", "Začínají se ověřovat uživatelské informace"},
    {6, "Authentication: notify", "Ověření: oznámení"},
    {7, "Authentication: retry", "Ověření: opakování"},
    {8, "Authentication: callback", "Ověření: zpětné volání"},
    {9, "Authentication: change password", "Ověření: změna hesla"},
    {10, "Authentication: projecting", "Ověření: návrh"},
    {11, "Authentication: link speed", "Ověření: spojovací rychlost"},
    {12, "Authentication: acknowledge", "Ověření: potvrzení"},
    {13, "Authentication: reauthenticate", "Ověření: znovuověření"},
    {14, "Authenticated", "Ověřeno"},
    {15, "Preparing for callback", "Příprava na zpetné volání"},
    {16, "Waiting for modem reset", "Čeká se na reset modemu"},
    {17, "Waiting for callback", "Čeká se na zpětné volání"},
    {18, "Projected", "Navrhnuto"},
    {19, "Start authentication", "Ověřování uživatelských informací"},
    {20, "Callback complete", "Zpetné volání hotovo"},
    {21, "Logging on network", "Připojuje se na síť"},
    {0x1000, "Interactive", "Interakce"},
    {0x1001, "Retry Authentication", "Opakování oveření"},
    {0x1002, "Callback set by caller", "Zpeětné volání zvoleno uživatelem"},
    {0x1003, "Password expired", "Platnost hesla vypršela"},
    {0x2000, "Connected", "Spojeno"},
    {0x2001, "Disconnected", "Rozpojeno"},
};

} // namespace

TEST_F(DialUpTest, EveryStateReachesTheGuiThreadWithItsTextInBothLanguages) {
  for (TLanguage language : {TLanguage::English, TLanguage::Czech}) {
    events.clear();
    log->reportsReturned = 0;
    dialUp->Language = language;
    dialUp->Entry = "isp";
    ASSERT_EQ(dialUp->Dial(), 0);
    Reports reports;
    std::vector<Event> expected;
    for (const Row &row : kTexts) {
      reports.emplace_back(row.state, 0);
      expected.push_back({row.state, 0, language == TLanguage::Czech ? row.czech : row.english});
    }
    fake->Emit(reports);
    ASSERT_TRUE(PumpUntilReturned(static_cast<int>(reports.size())));
    EXPECT_EQ(events, expected);
    EXPECT_EQ(dialUp->ConnectionState, RASCS_Disconnected);
  }
  for (int unknown : {22, 23, 0x1004, -1}) {
    EXPECT_EQ(dialUp->StateTextEnglish(unknown, 0), "");
    EXPECT_EQ(dialUp->StateTextCzech(unknown, 0), "");
  }
}

TEST_F(DialUpTest, ErrorReportsCarryTheErrorTextWhateverTheLanguage) {
  // The texts are the user's language, German, as the system's error texts would be.
  const std::string failed = RasErrorTextGerman(ERROR_AUTHENTICATION_FAILURE);
  EXPECT_EQ(failed, "Die Anmeldung ist fehlgeschlagen: Benutzername oder Kennwort ist falsch.");
  EXPECT_EQ(dialUp->StateTextEnglish(0, ERROR_FROM_DEVICE),
            "Das Modem oder das Verbindungsskript hat einen Fehler gemeldet.");
  // Every text is whole within the component's 99 bytes; the English twin stays for log lines.
  for (int code = 0; code < 1000; ++code)
    if (const char *text = RasErrorTextGerman(code)) {
      EXPECT_LE(std::string(text).size(), 99u) << code;
      EXPECT_NE(RasErrorText(code), nullptr) << code;
    }
  for (TLanguage language : {TLanguage::English, TLanguage::Czech}) {
    dialUp->Language = language;
    EXPECT_EQ(dialUp->StateTextEnglish(RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE), failed);
    EXPECT_EQ(dialUp->StateTextCzech(RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE), failed);
  }
  // No text known: a fallback, never whatever a buffer held.
  EXPECT_EQ(dialUp->StateTextCzech(RASCS_Connected, 12345), "DFÜ-Fehler 12345");
  // Too long: cut to 99 bytes without splitting a character.
  EXPECT_EQ(dialUp->StateTextEnglish(0, 4242), std::string(97, 'x') + "\xC5\x99");

  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  fake->Emit({{RASCS_DeviceConnected, 0}, {RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE}});
  ASSERT_TRUE(PumpUntilReturned(2));
  EXPECT_EQ(events.back(), (Event{RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE, failed}));
}

TEST_F(DialUpTest, SecondReportWaitsUntilTheFirstHandlerHasReturned) {
  std::vector<Event> seen;
  bool secondWasHeldBack = false;
  dialUp->OnAsyncEvent = [&](TDialUp *, int state, int error, const std::string &text) {
    seen.push_back({state, error, text});
    if (seen.size() == 1) {
      // The reporting thread now waits for us: nothing of report two is stored or queued.
      secondWasHeldBack = kvtest::WaitUntil([] { return TDialUp::WaitingReports() == 1; }) &&
                          gui.Pending() == 0 && log->reportsReturned == 1 &&
                          dialUp->ConnectionState == RASCS_PortOpened;
    }
  };
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  fake->Emit({{RASCS_PortOpened, 0}, {RASCS_ConnectDevice, 0}});
  ASSERT_TRUE(PumpUntilReturned(2));
  EXPECT_TRUE(secondWasHeldBack);
  EXPECT_EQ(seen, (std::vector<Event>{{1, 0, "Port opened"}, {2, 0, "Connecting device"}}));
}

TEST_F(DialUpTest, AReportStillOnItsWayWhenTheOwnerHangsUpIsDropped) {
  std::vector<int> states;
  dialUp->OnAsyncEvent = [&](TDialUp *sender, int state, int, const std::string &) {
    states.push_back(state);
    ASSERT_TRUE(kvtest::WaitUntil([] { return TDialUp::WaitingReports() == 1; }));
    sender->ConnectionState = RASCS_Disconnected; // the owner giving up after a report, and hanging up
    sender->HangUp();
  };
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  fake->Emit({{RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE}, {RASCS_Disconnected, ERROR_DISCONNECTION}});
  ASSERT_TRUE(PumpUntilReturned(2));
  EXPECT_EQ(states, std::vector<int>{RASCS_Authenticate});
  EXPECT_EQ(dialUp->ConnectionState, RASCS_Disconnected);
}

TEST_F(DialUpTest, ReportsWithoutAHandlerAreConsumed) {
  dialUp->OnAsyncEvent = nullptr;
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  fake->Emit({{RASCS_OpenPort, 0}, {RASCS_Projected, 0}, {RASCS_Connected, 0}});
  ASSERT_TRUE(PumpUntilReturned(3));
  EXPECT_EQ(dialUp->ConnectionState, RASCS_Connected);
  EXPECT_EQ(TDialUp::WaitingReports(), 0);
}

TEST_F(DialUpTest, AReportThatCannotBeHandedOverIsDroppedNotLeftPending) {
  struct Refusing : kv::platform::Dispatcher {
    ManualDispatcher &inner;
    std::atomic<int> refuse;
    Refusing(ManualDispatcher &d, int n) : inner(d), refuse(n) {}
    bool Post(std::function<void()> task) override {
      return refuse-- > 0 ? false : inner.Post(std::move(task));
    }
  } refusing(gui, 1);
  auto other = std::make_unique<FakeRas>(log);
  FakeRas *otherFake = other.get();
  TDialUp component(refusing, std::move(other));
  std::vector<int> states;
  component.OnAsyncEvent = [&](TDialUp *, int state, int, const std::string &) { states.push_back(state); };
  component.Entry = "isp";
  ASSERT_EQ(component.Dial(), 0);
  otherFake->Emit({{RASCS_OpenPort, 0}, {RASCS_Connected, 0}});
  ASSERT_TRUE(PumpUntilReturned(2));
  EXPECT_EQ(states, std::vector<int>{RASCS_Connected});
}

TEST_F(DialUpTest, DestroyingWhilePendingReleasesTheReporterHangsUpAndJoins) {
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  fake->Emit({{RASCS_OpenPort, 0}, {RASCS_PortOpened, 0}, {RASCS_Connected, 0}});
  ASSERT_TRUE(kvtest::WaitUntil([] { return TDialUp::WaitingReports() == 1; }));
  ASSERT_EQ(gui.Pending(), 1u);
  dialUp.reset(); // returns only once the fake's thread has ended
  EXPECT_TRUE(log->destroyed);
  EXPECT_EQ(log->reportsReturned, 3);
  EXPECT_EQ(log->HangUps(), std::vector<RasConnHandle>{7});
  gui.RunPending(); // the queued delivery finds no component
  EXPECT_TRUE(events.empty());
}

TEST_F(DialUpTest, DestroyingWhileDiallingHangsUpAndLaterReportsGoNowhere) {
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  RasNotifier late = fake->notifier;
  dialUp.reset();
  EXPECT_EQ(log->HangUps(), std::vector<RasConnHandle>{7});
  late(WM_RASDIALEVENT, RASCS_Connected, 0); // a backend that reports after all
  EXPECT_EQ(gui.Pending(), 0u);
}

TEST_F(DialUpTest, PhoneBookListing) {
  std::vector<std::string> got;
  dialUp->OnEntryGet = [&](TDialUp *, const std::string &name) { got.push_back(name); };
  fake->book = {"Arcor", "isp"};
  EXPECT_EQ(dialUp->GetEntries(), 0);
  EXPECT_EQ(dialUp->GetEntries(), 0);
  EXPECT_EQ(dialUp->Entries(), (std::vector<std::string>{"Arcor", "isp"}));
  EXPECT_EQ(got, (std::vector<std::string>{"Arcor", "isp", "Arcor", "isp"}));

  got.clear();
  fake->enumResult = ERROR_CANNOT_OPEN_PHONEBOOK;
  EXPECT_EQ(dialUp->GetEntries(), ERROR_CANNOT_OPEN_PHONEBOOK);
  EXPECT_TRUE(dialUp->Entries().empty());
  fake->enumResult = 0;
  fake->book.clear();
  EXPECT_EQ(dialUp->GetEntries(), 0);
  for (int i = 0; i < 101; ++i)
    fake->book.push_back("peer" + std::to_string(i));
  EXPECT_EQ(dialUp->GetEntries(), ERROR_BUFFER_TOO_SMALL);
  EXPECT_TRUE(dialUp->Entries().empty());
  fake->book.pop_back();
  EXPECT_EQ(dialUp->GetEntries(), 0);
  EXPECT_EQ(dialUp->Entries().size(), 100u);
  EXPECT_EQ(got.size(), 100u);
}

TEST_F(DialUpTest, EntriesThatCannotBeDialledAreRefusedBeforeDialling) {
  dialUp->Entry = "elsewhere";
  EXPECT_EQ(dialUp->Dial(), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_EQ(errors,
            (std::vector<Event>{{0, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, "GetEntryDialParams failed"}}));

  const std::string longest(256, 'r'), tooLong = std::string(256, 'r') + "\xC5\x99";
  fake->book = {longest, tooLong};
  dialUp->Entry = tooLong;
  EXPECT_EQ(dialUp->Dial(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(log->paramReads, 1); // the backend never saw the name
  EXPECT_EQ(log->dials, 0);
  EXPECT_EQ(errors.back(), (Event{0, ERROR_INVALID_PARAMETER, "GetEntryDialParams failed"}));
  std::string czech;
  for (int i = 0; i < 256; ++i)
    czech += "\xC5\x99"; // 256 characters in 512 bytes
  fake->book.push_back(czech);
  for (const std::string &name : {longest, czech}) {
    dialUp->Entry = name;
    EXPECT_EQ(dialUp->Dial(), 0);
  }
  EXPECT_EQ(log->dials, 2);
}

TEST_F(DialUpTest, SyncDialRaisesConnectOrNotConnectedAndReleasesAFailedHandle) {
  std::vector<std::string> steps;
  dialUp->OnDialing = [&](TDialUp *) { steps.push_back("dialing"); };
  dialUp->OnConnect = [&](TDialUp *) { steps.push_back("connect"); };
  dialUp->OnNotConnected = [&](TDialUp *, int code, const std::string &text) {
    steps.push_back("not connected " + std::to_string(code) + " " + text);
  };
  dialUp->DialMode = TDialMode::dmSync;
  dialUp->Entry = "isp";
  EXPECT_EQ(dialUp->Dial(), 0);
  fake->dialResult = ERROR_PORT_ALREADY_OPEN;
  EXPECT_EQ(dialUp->Dial(), ERROR_PORT_ALREADY_OPEN);
  EXPECT_EQ(steps, (std::vector<std::string>{"dialing", "connect", "dialing",
                                             "not connected 602 " + std::string(RasErrorTextGerman(602))}));
  // 7 hung up before the second dial, 8 released after it failed; nothing held now.
  EXPECT_EQ(log->HangUps(), (std::vector<RasConnHandle>{7, 8}));
  EXPECT_EQ(dialUp->HangUp(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(gui.Pending(), 0u);
}

TEST_F(DialUpTest, HandleIsHungUpOnceAndClearedAfterwards) {
  EXPECT_EQ(dialUp->HangUp(), ERROR_INVALID_HANDLE); // before any dial
  EXPECT_TRUE(log->HangUps().empty());

  fake->dialResult = ERROR_PORT_NOT_AVAILABLE; // an asynchronous dial that does not start
  dialUp->Entry = "isp";
  EXPECT_EQ(dialUp->Dial(), ERROR_PORT_NOT_AVAILABLE);
  EXPECT_EQ(errors, (std::vector<Event>{
                        {0, ERROR_PORT_NOT_AVAILABLE, RasErrorTextGerman(ERROR_PORT_NOT_AVAILABLE)}}));
  EXPECT_TRUE(log->HangUps().empty()); // kept until the next hang-up
  fake->dialResult = 0;
  EXPECT_EQ(dialUp->Dial(), 0);
  EXPECT_EQ(dialUp->HangUp(), 0);
  EXPECT_EQ(dialUp->HangUp(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(dialUp->Dial(), 0);
  EXPECT_EQ(log->HangUps(), (std::vector<RasConnHandle>{7, 8}));
}

TEST_F(DialUpTest, TheLatestAsynchronousDiallerTakesOverTheReports) {
  auto otherLog = std::make_shared<FakeLog>();
  auto otherBackend = std::make_unique<FakeRas>(otherLog);
  auto second = std::make_unique<TDialUp>(gui, std::move(otherBackend));
  std::vector<int> secondStates;
  second->OnAsyncEvent = [&](TDialUp *, int state, int, const std::string &) {
    secondStates.push_back(state);
  };
  dialUp->Entry = second->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), 0);
  ASSERT_EQ(second->Dial(), 0);
  fake->Emit({{RASCS_Connected, 0}}); // from the first one's connection
  ASSERT_TRUE(PumpUntilReturned(1));
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(secondStates, std::vector<int>{RASCS_Connected});
  EXPECT_EQ(second->ConnectionState, RASCS_Connected);

  second.reset(); // the reports of the first have nowhere to go now
  fake->Emit({{RASCS_Disconnected, 0}});
  ASSERT_TRUE(PumpUntilReturned(2));
  EXPECT_TRUE(events.empty());
}

#include "net/dial_up.h"

#include <condition_variable>
#include <mutex>

#include "net/ras.h"

namespace kv::net {

// What the notifier and the GUI thread share. All fields are guarded by g_handOver.
struct TDialUp::Link {
  TDialUp *owner = nullptr; // null once the component is being destroyed
  platform::Dispatcher *dispatcher = nullptr;
  bool pending = false; // a stored report has not been delivered yet
  int posting = 0;      // notifier calls between storing a report and queueing its delivery
  unsigned dial = 0;    // counts hang-ups, so reports of a hung-up connection can be told apart
  int state = 0;
  int error = 0;
};

namespace {

// One lock for the hand-over of all instances: reports are rare, and it keeps the wait for
// "the current instance's earlier report" a single condition.
std::mutex g_handOver;
std::condition_variable g_delivered;
std::shared_ptr<TDialUp::Link> g_current; // the instance that started the latest asynchronous dial
int g_waiting = 0;

struct StateText {
  int state;
  const char *english;
  const char *czech;
};

constexpr StateText kStateTexts[] = {
    {RASCS_OpenPort, "Opening port", "Otevírá se port"},
    {RASCS_PortOpened, "Port opened", "Port otevřen"},
    {RASCS_ConnectDevice, "Connecting device", "Probíhá spojování"},
    {RASCS_DeviceConnected, "Device connected", "Navázáno spojení"},
    {RASCS_AllDevicesConnected, "All devices connected", "Všechna zařízení spojena"},
    {RASCS_Authenticate, "Start authenticating", "Začínají se ověřovat uživatelské informace"},
    {RASCS_AuthNotify, "Authentication: notify", "Ověření: oznámení"},
    {RASCS_AuthRetry, "Authentication: retry", "Ověření: opakování"},
    {RASCS_AuthCallback, "Authentication: callback", "Ověření: zpětné volání"},
    {RASCS_AuthChangePassword, "Authentication: change password", "Ověření: změna hesla"},
    {RASCS_AuthProject, "Authentication: projecting", "Ověření: návrh"},
    {RASCS_AuthLinkSpeed, "Authentication: link speed", "Ověření: spojovací rychlost"},
    {RASCS_AuthAck, "Authentication: acknowledge", "Ověření: potvrzení"},
    {RASCS_ReAuthenticate, "Authentication: reauthenticate", "Ověření: znovuověření"},
    {RASCS_Authenticated, "Authenticated", "Ověřeno"},
    {RASCS_PrepareForCallback, "Preparing for callback", "Příprava na zpetné volání"},
    {RASCS_WaitForModemReset, "Waiting for modem reset", "Čeká se na reset modemu"},
    {RASCS_WaitForCallback, "Waiting for callback", "Čeká se na zpětné volání"},
    {RASCS_Projected, "Projected", "Navrhnuto"},
    {RASCS_StartAuthentication, "Start authentication", "Ověřování uživatelských informací"},
    {RASCS_CallbackComplete, "Callback complete", "Zpetné volání hotovo"},
    {RASCS_LogonNetwork, "Logging on network", "Připojuje se na síť"},
    {RASCS_Interactive, "Interactive", "Interakce"},
    {RASCS_RetryAuthentication, "Retry Authentication", "Opakování oveření"},
    {RASCS_CallbackSetByCaller, "Callback set by caller", "Zpeětné volání zvoleno uživatelem"},
    {RASCS_PasswordExpired, "Password expired", "Platnost hesla vypršela"},
    {RASCS_Connected, "Connected", "Spojeno"},
    {RASCS_Disconnected, "Disconnected", "Rozpojeno"},
};

const StateText *FindState(int state) {
  for (const auto &row : kStateTexts)
    if (row.state == state) return &row;
  return nullptr;
}

std::size_t CharCount(const std::string &s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
void CutText(std::string &text, std::size_t limit) {
  if (text.size() <= limit) return;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
}

void Deliver(const std::shared_ptr<TDialUp::Link> &link) {
  TDialUp *owner;
  {
    std::lock_guard lock(g_handOver);
    owner = link->owner;
  }
  // Deliveries run on the GUI thread, as does destruction, so a live owner stays alive here.
  if (owner) owner->DeliverAsyncEvent();
}

// The notifier of asynchronous dial number `dial` of `origin`'s component; runs on the backend's thread.
void DialCallback(const std::shared_ptr<TDialUp::Link> &origin, unsigned dial, int state, int error) {
  std::unique_lock lock(g_handOver);
  auto mayStore = [&] { return !origin->owner || origin->dial != dial || !g_current || !g_current->pending; };
  if (!mayStore()) {
    ++g_waiting;
    g_delivered.wait(lock, mayStore);
    --g_waiting;
  }
  // A dialling component that is gone, a connection hung up meanwhile, or no component to report
  // to: the report is dropped.
  if (!origin->owner || origin->dial != dial || !g_current) return;
  std::shared_ptr<TDialUp::Link> link = g_current;
  link->pending = true;
  link->state = state;
  link->error = error;
  link->owner->ConnectionState.store(state);
  ++link->posting;
  platform::Dispatcher *dispatcher = link->dispatcher;
  lock.unlock();

  const bool queued = dispatcher->Post([link] { Deliver(link); });

  lock.lock();
  --link->posting;
  // A report that cannot be handed over is dropped rather than left pending, which would hold
  // every later report back for ever.
  if (!queued) link->pending = false;
  g_delivered.notify_all();
}

} // namespace

TDialUp::TDialUp(platform::Dispatcher &dispatcher, std::unique_ptr<RasBackend> backend)
    : dispatcher_(dispatcher), backend_(std::move(backend)), link_(std::make_shared<Link>()) {
  link_->owner = this;
  link_->dispatcher = &dispatcher_;
}

TDialUp::~TDialUp() {
  {
    // Detach: queued deliveries and waiting or later notifier calls now find no owner.
    std::unique_lock lock(g_handOver);
    link_->owner = nullptr;
    link_->pending = false;
    if (g_current == link_) g_current.reset();
    g_delivered.notify_all();
    // A notifier still inside Post uses our dispatcher; let it finish.
    g_delivered.wait(lock, [&] { return link_->posting == 0; });
  }
  if (handle_ != 0) backend_->HangUp(handle_);
  handle_ = 0;
  backend_.reset(); // joins the backend's threads
}

int TDialUp::GetEntries() {
  entries_.clear();
  std::vector<std::string> names;
  const int code = backend_->EnumEntries(names);
  if (code != ERROR_SUCCESS) return code;
  if (names.size() > MaxEntries) return ERROR_BUFFER_TOO_SMALL;
  for (const auto &name : names) {
    entries_.push_back(name);
    if (OnEntryGet) OnEntryGet(this, name);
  }
  return ERROR_SUCCESS;
}

int TDialUp::Dial() {
  HangUp();

  RasDialParams params;
  int code;
  if (CharCount(Entry) > MaxEntryName) {
    // No phone-book entry can have this name; refuse it rather than cut it to another entry's.
    code = ERROR_INVALID_PARAMETER;
  } else {
    params.EntryName = Entry;
    bool passwordSaved = false;
    code = backend_->GetEntryDialParams(params, passwordSaved);
  }
  if (code != ERROR_SUCCESS) {
    if (OnError) OnError(this, code, "GetEntryDialParams failed");
    return code;
  }

  handle_ = 0;
  if (DialMode == TDialMode::dmSync) {
    if (OnDialing) OnDialing(this);
    code = backend_->Dial(params, nullptr, handle_);
    if (code == ERROR_SUCCESS) {
      if (OnConnect) OnConnect(this);
    } else {
      if (handle_ != 0) backend_->HangUp(handle_);
      handle_ = 0;
      const std::string text = ErrorText(code);
      if (OnNotConnected) OnNotConnected(this, code, text);
    }
    return code;
  }

  unsigned dial;
  {
    std::lock_guard lock(g_handOver);
    g_current = link_;
    dial = link_->dial;
    g_delivered.notify_all(); // a notifier waiting on the previous instance now reports here
  }
  if (OnDialing) OnDialing(this);
  std::shared_ptr<Link> origin = link_;
  code = backend_->Dial(
      params,
      [origin, dial](uint32_t /*msg*/, int state, int error) { DialCallback(origin, dial, state, error); },
      handle_);
  if (code != ERROR_SUCCESS) {
    // The handle stays: the next HangUp or Dial releases it.
    const std::string text = ErrorText(code);
    if (OnError) OnError(this, code, text);
  }
  return code;
}

int TDialUp::HangUp() {
  if (handle_ == 0) return ERROR_INVALID_HANDLE;
  {
    // A report of this connection still on its way (its notifier waiting for an earlier one to
    // be delivered) would arrive after the hang-up; drop it.
    std::lock_guard lock(g_handOver);
    ++link_->dial;
    g_delivered.notify_all();
  }
  const int code = backend_->HangUp(handle_);
  // Cleared, so a later dial never hangs up a connection that reuses the old handle.
  handle_ = 0;
  return code;
}

void TDialUp::DeliverAsyncEvent() {
  const std::shared_ptr<Link> link = link_;
  int state, error;
  {
    std::lock_guard lock(g_handOver);
    if (!link->pending) return;
    state = link->state;
    error = link->error;
  }
  if (OnAsyncEvent) {
    const std::string text =
        Language == TLanguage::Czech ? StateTextCzech(state, error) : StateTextEnglish(state, error);
    // A copy: the handler may destroy this component, and with it OnAsyncEvent.
    const TOnAsyncEvent handler = OnAsyncEvent;
    handler(this, state, error, text);
  }
  // Only `link` from here on: the component may be gone.
  std::lock_guard lock(g_handOver);
  link->pending = false;
  g_delivered.notify_all();
}

std::string TDialUp::StateTextEnglish(int State, int Error) {
  if (Error != 0) return ErrorText(Error);
  const StateText *row = FindState(State);
  return row ? row->english : "";
}

std::string TDialUp::StateTextCzech(int State, int Error) {
  if (Error != 0) return ErrorText(Error);
  const StateText *row = FindState(State);
  return row ? row->czech : "";
}

int TDialUp::WaitingReports() {
  std::lock_guard lock(g_handOver);
  return g_waiting;
}

std::string TDialUp::ErrorText(int code) {
  std::string text;
  if (backend_->GetErrorString(code, text) != ERROR_SUCCESS || text.empty())
    text = "DFÜ-Fehler " + std::to_string(code);
  CutText(text, MaxErrorText);
  return text;
}

} // namespace kv::net

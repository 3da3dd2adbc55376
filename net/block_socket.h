#pragma once
// TBlockSocket: the blocking socket every network operation of the system goes through. It
// resolves names, creates, binds and connects sockets, sends in chunks through a bandwidth
// limiter, receives packets, exact counts and terminated lines through a buffer of bytes received
// but not yet handed out, and records every failure as a Winsock code in LastError (raising
// ESocketError only when RaiseExcept is set). The SOCKS, datagram, UDP and TCP sockets derive
// from it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/socket_api.h"
#include "net/socket_errors.h"

namespace kv::net {

enum TSocketFamily { SF_Any, SF_IP4, SF_IP6 };

enum THookSocketReason {
  HR_ResolvingBegin,
  HR_ResolvingEnd,
  HR_SocketCreate,
  HR_SocketClose,
  HR_Bind,
  HR_Connect,
  HR_CanRead,
  HR_CanWrite,
  HR_Listen,
  HR_Accept,
  HR_ReadCount,
  HR_WriteCount,
  HR_Wait,
  HR_Error
};

// Socket options queued until a socket exists.
enum TSynaOptionType {
  SOT_Linger,
  SOT_RecvBuff,
  SOT_SendBuff,
  SOT_NonBlock,
  SOT_RecvTimeout,
  SOT_SendTimeout,
  SOT_Reuse,
  SOT_TTL,
  SOT_Broadcast,
  SOT_MulticastTTL,
  SOT_MulticastLoop
};

struct TSynaOption {
  TSynaOptionType Option = SOT_Linger;
  bool Enabled = false;
  int Value = 0; // milliseconds for linger and the time-outs
};

class TBlockSocket;
using THookSocketStatus =
    std::function<void(TBlockSocket *Sender, THookSocketReason Reason, const std::string &Value)>;
using THookDataFilter = std::function<void(TBlockSocket *Sender, std::string &Value)>;
using THookCreateSocket = std::function<void(TBlockSocket *Sender)>;

// Raised on a reported error when RaiseExcept is set: "TCP/IP Socket error <code>: <text>".
class ESocketError : public std::runtime_error {
public:
  ESocketError(int code, const std::string &text, const std::string &message);
  ESocketError(int code, const std::string &text);
  int ErrorCode;
  std::string ErrorMessage;
};

// Longest line RecvTerminated gathers unless the owner sets another limit (0: none).
inline constexpr int kDefaultMaxLineLength = 65536;
// Largest block RecvBlock accepts from a length announced by the peer.
inline constexpr int kMaxBlockLength = 16 * 1024 * 1024;
// DrainInput stops after this many bytes or milliseconds, even while the peer keeps sending.
inline constexpr size_t kDrainMaxBytes = 1024 * 1024;
inline constexpr uint64_t kDrainMaxMs = 1000;

class TBlockSocket {
public:
  TBlockSocket();
  virtual ~TBlockSocket();
  TBlockSocket(const TBlockSocket &) = delete;
  TBlockSocket &operator=(const TBlockSocket &) = delete;

  // Properties.
  int Tag = 0;
  bool RaiseExcept = false;
  int MaxLineLength = kDefaultMaxLineLength;
  int MaxSendBandwidth = 0; // bytes per second, 0 or less: no limit
  int MaxRecvBandwidth = 0;
  void SetMaxBandwidth(int value);
  bool ConvertLineEnd = false;
  TSocketFamily Family() const { return family_; }
  virtual void SetFamily(TSocketFamily value);
  bool PreferIP4 = true;
  bool InterPacketTimeout = true;
  int SendMaxChunk = 65535;
  // Set by anyone (any thread) to make the next send or receive fail with 10053.
  std::atomic<bool> StopFlag{false};
  // A flag outside the socket, such as the program's stop request: once it is set, every send
  // and receive fails with 10053 as after StopFlag, and a wait or connect under way ends within
  // kStopPollMs. The socket never clears it.
  const std::atomic<bool> *StopSource = nullptr;
  // Milliseconds a direct stream connect or an SSL handshake may take, and a blocking send may
  // wait for a peer that takes nothing (10060 then); negative: no limit. LimitExchange may cut
  // the connect and the send shorter.
  int ConnectionTimeout = 60000;
  THookSocketStatus OnStatus;
  THookDataFilter OnReadFilter;
  THookDataFilter OnWriteFilter;
  THookCreateSocket OnCreateSocket;

  int LastError() const { return last_error_; }
  const std::string &LastErrorDesc() const { return last_error_desc_; }
  TSocket Socket() const { return socket_; }
  bool IPv6InUse() const { return ipv6_in_use_; }
  bool NonBlockMode() const { return non_block_; }
  uint64_t RecvCounter() const { return recv_counter_; }
  uint64_t SendCounter() const { return send_counter_; }

  // Virtual operations.
  virtual void AttachHandle(TSocket handle);
  virtual void Close();
  virtual void CloseNow();
  virtual void Connect(const std::string &IP, const std::string &Port);
  virtual int SendData(const void *buffer, int length);
  virtual void SendByte(uint8_t data);
  virtual void SendString(const std::string &data);
  virtual void SendInteger(int32_t data);
  virtual void SendBlock(const std::string &data);
  virtual void SendStreamData(std::istream &stream);
  virtual void SendStreamSized(std::istream &stream);
  virtual void SendStreamNetOrder(std::istream &stream);
  virtual int RecvData(void *buffer, int length);
  virtual int RecvExact(void *buffer, int length, int timeout);
  virtual std::string RecvExactString(int length, int timeout);
  virtual uint8_t RecvByte(int timeout);
  virtual int32_t RecvInteger(int timeout);
  virtual std::string RecvLine(int timeout);
  virtual std::string RecvTerminated(int timeout, const std::string &terminator);
  virtual std::string RecvPacket(int timeout);
  virtual std::string RecvBlock(int timeout);
  virtual void RecvStreamData(std::ostream &stream, int timeout);
  virtual void RecvStreamSized(std::ostream &stream, int timeout);
  virtual void RecvStreamNetOrder(std::ostream &stream, int timeout);
  virtual int PeekData(void *buffer, int length);
  virtual uint8_t PeekByte(int timeout);
  virtual int PendingBytes();
  virtual std::string LocalAddressText();
  virtual std::string RemoteAddressText();
  virtual int LocalPort();
  virtual int RemotePort();
  virtual bool CanRead(int timeout);
  virtual bool CanReadBuffered(int timeout);
  virtual bool CanWrite(int timeout);
  virtual int SendDataTo(const void *buffer, int length);
  virtual int RecvDataFrom(void *buffer, int length);
  virtual int SocketType() const;
  virtual int SocketProtocol() const;

  // Non-virtual operations.
  void Bind(const std::string &IP, const std::string &Port);
  void CreateSocketByName(const std::string &name);
  void SetRemoteAddress(const std::string &IP, const std::string &Port);
  void ResolveAll(const std::string &name, std::vector<std::string> &list);
  std::string ResolveFirst(const std::string &name);
  int ResolveServicePort(const std::string &port);
  std::string LocalHostName();
  TVarSin TextToIPv6Address(const std::string &text);
  std::string IPv6AddressToText(const TVarSin &address);
  static std::string GetErrorDesc(int code);
  // Reads and drops what is waiting, within kDrainMaxBytes and kDrainMaxMs; LastError is 0 after.
  void DrainInput();
  // Records `code` as LastError and reports it as the socket's own failures are (HR_Error, and
  // ESocketError with RaiseExcept): for a client that ends a receive on what it judged of the
  // data, a time-out (10060) above all.
  void ReportError(int code);
  // Queues an option; it is applied when a socket is created, or at once when one exists.
  void AddPendingOption(const TSynaOption &option);
  // Bounds a whole exchange, however many waits it takes: from now on every wait of the socket
  // (the stream connect, a send waiting for room, each receive) ends `limit_ms` from now at the
  // latest, whatever its own time-out allows, and one cut short fails with 10060 as a time-out
  // does. Negative: no such bound (the default). An SSL handshake or write keeps its own
  // ConnectionTimeout.
  void LimitExchange(int limit_ms);

protected:
  // While it lives, the time-out of a receive bounds the whole receive, however the peer spreads
  // it over packets (InterPacketTimeout off); a drip-feeding peer cannot stretch it.
  class WholeReceiveScope {
  public:
    explicit WholeReceiveScope(TBlockSocket &s) : s_(s), saved_(s.InterPacketTimeout) {
      s_.InterPacketTimeout = false;
    }
    ~WholeReceiveScope() { s_.InterPacketTimeout = saved_; }
    WholeReceiveScope(const WholeReceiveScope &) = delete;
    WholeReceiveScope &operator=(const WholeReceiveScope &) = delete;

  private:
    TBlockSocket &s_;
    bool saved_;
  };

  // Called first by destructors: no handler runs and nothing is raised from here on.
  void ReleaseForDestruction();

  // The error discipline.
  void CheckSocketResult(int result);
  void RaiseOnError();
  void SetLastError(int code);
  void DoStatus(THookSocketReason reason, const std::string &value);
  // A count as the value; formatted only when someone listens.
  void DoStatus(THookSocketReason reason, int64_t value);
  // True when there is a usable socket; otherwise records why not (the failure that kept it from
  // being created or addressed, or 10038) and reports it.
  bool CheckHandle();
  // Remembers the current LastError as the reason the socket cannot be used.
  void NoteSetupError() { setup_error_ = last_error_; }
  bool TestStopFlag();
  bool StopSourceSet() const { return StopSource && StopSource->load(); }
  // Waits for the socket to become readable (or writable); reports HR_CanRead / HR_CanWrite.
  bool WaitFor(bool write, int timeout);
  // `timeout` (milliseconds, negative: none) cut to what is left of the exchange's limit.
  int BoundedWait(int timeout) const;

  // Resolves host and port into `address`; LastError holds the resolver's code.
  void ResolveAddress(const std::string &host, const std::string &port, TVarSin &address);
  int LookupAddress(const std::string &host, const std::string &port, int family, TVarSin &address);
  bool UsesAddressInfoApi() const;
  void CreateSocketFor(const TVarSin &address);
  void ReadAddresses();
  // The stream connect: resolve, create, connect within `timeout_ms`.
  void StreamConnect(const std::string &IP, const std::string &Port, int timeout_ms);
  // The bandwidth limiter: the pause for the transfer before, then the charge for this one.
  void ThrottleTransfer(int count, int limit, uint64_t &next_tick);
  void ThrottleWait(int limit, uint64_t next_tick);
  void ThrottleCharge(int count, int limit, uint64_t &next_tick);
  // One send of a piece; a blocking socket waits at most ConnectionTimeout for the peer to take
  // some of it. Returns the bytes sent or SOCKET_ERROR, with LastError set.
  int SendPiece(const void *buffer, int length);
  // The write filter's version of the data to send (kept in `storage`); `length` follows it.
  const void *ApplyWriteFilter(const void *buffer, int &length, std::string &storage);
  // Runs the read filter over the `count` bytes received; returns the new count.
  int ApplyReadFilter(void *buffer, int count);
  // One recvfrom: stop flag, limiter, error discipline, counters; the sender goes to `from`.
  int RecvFromRaw(void *buffer, int length, TVarSin &from);
  // The base sendto to the remote address.
  int SendToRemote(const void *buffer, int length);
  std::string AddressToText(const TVarSin &address) const;
  int AddressPort(const TVarSin &address) const;
  void ApplyPendingOptions();
  void ApplyOption(const TSynaOption &option);
  // Datagram sockets consume an empty packet instead of reading it as a closed peer.
  virtual bool IsDatagram() const { return false; }
  std::string RecvStreamPacket(int timeout);
  std::string RecvDatagramPacket(int timeout);
  // With InterPacketTimeout off, `timeout` bounds a whole multi-packet receive: takes the time
  // since `tick` off `remaining`; false (LastError 10060) once nothing is left.
  bool TimeLeftForNextPacket(uint64_t tick, int timeout, int &remaining);
  // Receives `length` bytes (or fewer on error) appended to `out`.
  int RecvExactInto(std::string &out, int length, int timeout);
  void ReadStreamPieces(std::ostream &stream, int64_t count, int timeout);

  TSocket socket_ = INVALID_SOCKET;
  int last_error_ = 0;
  std::string last_error_desc_;
  int setup_error_ = 0;
  TVarSin local_sin_{};
  TVarSin remote_sin_{};
  std::string line_buffer_;
  TFdSet fd_set_;
  bool ipv6_in_use_ = false;
  bool bound_ = false;
  bool cr_pending_ = false;
  bool lf_pending_ = false;
  TSocketFamily family_ = SF_Any;
  TSocketFamily remembered_family_ = SF_Any;
  // LimitExchange: when the exchange began (a TickNow value), and its limit (negative: none).
  uint64_t exchange_start_ = 0;
  int exchange_limit_ = -1;
  uint64_t next_send_tick_ = 0;
  uint64_t next_recv_tick_ = 0;
  uint64_t recv_counter_ = 0;
  uint64_t send_counter_ = 0;
  bool non_block_ = false;
  std::vector<TSynaOption> pending_options_;
  // Set by a receive that consumed a datagram it does not pass on; the caller waits on.
  bool packet_discarded_ = false;
  // MSG_DONTWAIT while a packet receive looks for data it was told is there: recvfrom and the
  // SSL read then never block past the receive's time-out.
  int recv_flags_ = 0;
  // Room for the largest datagram, allocated at the first packet receive.
  std::vector<char> datagram_buffer_;
};

// Base of the protocol clients: where to connect and how long to wait.
class TNetClient {
public:
  virtual ~TNetClient() = default;
  std::string TargetHost = "127.0.0.1";
  std::string TargetPort = "0";
  std::string IPInterface = "0.0.0.0";
  int Timeout = 5000;
  std::string UserName;
  std::string Password;
};

} // namespace kv::net

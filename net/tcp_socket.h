#pragma once
// TTCPBlockSocket: the stream socket. Connect reaches the target directly, through a SOCKS proxy
// (CONNECT) or through an HTTP proxy's CONNECT tunnel; Listen listens here or asks a SOCKS proxy
// to listen (BIND). An optional SSL layer runs over the OpenSSL libraries bound at first use.

#include <string>

#include "net/socks_socket.h"
#include "net/ssl_binding.h"

namespace kv::net {

enum TSSLType { LT_SSLv2, LT_SSLv3, LT_TLSv1, LT_all };

// Bounds on an HTTP proxy's answer to CONNECT.
inline constexpr int kTunnelMaxLineLength = 8192;
inline constexpr int kTunnelMaxHeaderLines = 100;

class TTCPBlockSocket : public TSocksBlockSocket {
public:
  TTCPBlockSocket() = default;
  ~TTCPBlockSocket() override;

  // SSL properties.
  TSSLType SSLType = LT_all;
  bool SSLBypass = false;
  std::string SSLPassword;
  std::string SSLCiphers = "DEFAULT";
  std::string SSLCertificateFile;
  std::string SSLPrivateKeyFile;
  std::string SSLCertCAFile;
  bool SSLverifyCert = false;
  // HTTP tunnel properties.
  std::string HTTPTunnelIP;
  std::string HTTPTunnelPort;
  std::string HTTPTunnelUser;
  std::string HTTPTunnelPass;
  int HTTPTunnelTimeout = 30000; // milliseconds for the connect, and for the whole answer

  bool SSLEnabled() const { return ssl_enabled_; }
  unsigned long SSLLastError() const { return ssl_error_code_; }
  const std::string &SSLLastErrorDesc() const { return ssl_error_text_; }
  bool HttpTunnelInUse() const { return http_tunnel_in_use_; }

  void Close() override;
  void CloseNow() override;
  void Connect(const std::string &IP, const std::string &Port) override;
  int SendData(const void *buffer, int length) override;
  int RecvData(void *buffer, int length) override;
  int PendingBytes() override;
  std::string LocalAddressText() override;
  std::string RemoteAddressText() override;
  int LocalPort() override;
  int RemotePort() override;
  int SocketType() const override;
  int SocketProtocol() const override;
  virtual void Listen();
  // Takes the next incoming connection: the new handle (for AttachHandle of another socket), or
  // INVALID_SOCKET. Through a SOCKS proxy the proxy's second BIND reply announces the peer, and
  // this socket itself carries the connection.
  TSocket Accept();

  void SocksConnect(const std::string &IP, const std::string &Port);
  void HttpTunnelConnect(const std::string &IP, const std::string &Port);

  void SslConnect();
  void SslShutdown();
  void SetSslEnabled(bool on);
  bool SslLoadFiles();
  bool SslCheckError();
  long SslVerifyResult();
  static int SslPasswordCallback(char *buffer, int size, int rwflag, void *userdata);

protected:
  // The CONNECT request and the proxy's answer, on the socket connected to the proxy.
  void HttpTunnelExchange(const std::string &IP, const std::string &Port);
  // SSL carries the data unless bypassed or while a proxy exchange runs in plain text.
  bool SslActive() const { return ssl_enabled_ && !SSLBypass && !socks_exchange_active_; }
  // Connects to the proxy and asks it for `command` on IP:Port; a refusal that left no socket
  // error is recorded as `refused`.
  void SocksRequest(uint8_t command, const std::string &IP, const std::string &Port, int refused);
  // True when SSL has its object; otherwise records and reports 10043.
  bool SslObjectReady();
  // The handshake within ConnectionTimeout; false (LastError set) on failure.
  bool SslHandshake();

  bool ssl_enabled_ = false;
  PSSL_CTX ssl_ctx_ = nullptr;
  PSSL ssl_ = nullptr;
  unsigned long ssl_error_code_ = 0;
  std::string ssl_error_text_;
  bool http_tunnel_in_use_ = false;
  std::string tunnel_ip_;
  std::string tunnel_port_;
  // The name the peer's certificate must carry: the target of the last Connect.
  std::string ssl_host_;
};

} // namespace kv::net

#include "net/block_socket.h"
#include "net/socket_errors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

using kv::net::TBlockSocket;

TEST(SocketErrorText, EveryCodeOfTheTableReadsExactly) {
  const std::pair<int, const char *> table[] = {
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on nonsocket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Protocol wrong type for Socket"},
      {10042, "Protocol not available"},
      {10043, "Protocol not supported"},
      {10044, "Socket not supported"},
      {10045, "Operation not supported on Socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported"},
      {10048, "Address already in use"},
      {10049, "Can't assign requested address"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection on reset"},
      {10053, "Software caused connection abort"},
      {10054, "Connection reset by peer"},
      {10055, "No Buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after Socket shutdown"},
      {10059, "Too many references:can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name is too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory is not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disk quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network subsystem is unusable"},
      {10092, "Winsock DLL cannot support this application"},
      {10093, "Winsock not initialized"},
      {10101, "Disconnect"},
      {11001, "Host not found"},
      {11002, "Non authoritative - host not found"},
      {11003, "Non recoverable error"},
      {11004, "Valid name, no data record of requested type"},
  };
  EXPECT_EQ(std::size(table), 51u);
  for (const auto &[code, text] : table)
    EXPECT_EQ(TBlockSocket::GetErrorDesc(code), text) << code;
}

TEST(SocketErrorText, ZeroIsEmptyAndUnknownCodesAreNamedByNumber) {
  EXPECT_EQ(TBlockSocket::GetErrorDesc(0), "");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(12345), "Other Winsock error (12345)");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10000), "Other Winsock error (10000)");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(-1), "Other Winsock error (-1)");
}

TEST(SocketErrorMapping, ErrnoValuesMapByNameNotByNumber) {
  using namespace kv::net;
  EXPECT_EQ(ErrnoToWinsock(0), 0);
  EXPECT_EQ(ErrnoToWinsock(ETIMEDOUT), WSAETIMEDOUT);
  EXPECT_EQ(ErrnoToWinsock(ECONNREFUSED), 10061);
  EXPECT_EQ(ErrnoToWinsock(ECONNRESET), 10054);
  EXPECT_EQ(ErrnoToWinsock(EPIPE), 10054);
  EXPECT_EQ(ErrnoToWinsock(EWOULDBLOCK), 10035);
  EXPECT_EQ(ErrnoToWinsock(EAGAIN), 10035);
  EXPECT_EQ(ErrnoToWinsock(EINPROGRESS), 10036);
  EXPECT_EQ(ErrnoToWinsock(EADDRINUSE), 10048);
  EXPECT_EQ(ErrnoToWinsock(EADDRNOTAVAIL), 10049);
  EXPECT_EQ(ErrnoToWinsock(ENETUNREACH), 10051);
  EXPECT_EQ(ErrnoToWinsock(EHOSTUNREACH), 10065);
  EXPECT_EQ(ErrnoToWinsock(ENOTSOCK), 10038);
  EXPECT_EQ(ErrnoToWinsock(EBADF), 10009);
  EXPECT_EQ(ErrnoToWinsock(EINVAL), 10022);
  EXPECT_EQ(ErrnoToWinsock(EACCES), 10013);
  EXPECT_EQ(ErrnoToWinsock(EPERM), 10013);
  EXPECT_EQ(ErrnoToWinsock(EMSGSIZE), 10040);
  EXPECT_EQ(ErrnoToWinsock(EAFNOSUPPORT), 10047);
  EXPECT_EQ(ErrnoToWinsock(EINTR), 10004);
  EXPECT_EQ(ErrnoToWinsock(ENOTCONN), 10057);
  EXPECT_EQ(ErrnoToWinsock(ESHUTDOWN), 10058);
  // Without a Winsock twin the value passes through and reads as "Other Winsock error".
  EXPECT_EQ(ErrnoToWinsock(EIO), EIO);
}

TEST(SocketErrorMapping, ResolverCodesMapToTheHostErrors) {
  using namespace kv::net;
  EXPECT_EQ(AddrInfoErrorToWinsock(0, 0), 0);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_NONAME, 0), 11001);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_FAIL, 0), 11003);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_NODATA, 0), 11004);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_ADDRFAMILY, 0), 11004);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_SERVICE, 0), 10109);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_FAMILY, 0), 10047);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketError, ExceptionCarriesCodeTextAndTheLayersMessage) {
  const kv::net::ESocketError e(10060, "Connection timed out");
  EXPECT_STREQ(e.what(), "TCP/IP Socket error 10060: Connection timed out");
  EXPECT_EQ(e.ErrorCode, 10060);
  EXPECT_EQ(e.ErrorMessage, "Connection timed out");
}

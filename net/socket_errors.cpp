#include "net/socket_errors.h"

#include <cerrno>
#include <netdb.h>

namespace kv::net {

std::string WinsockErrorText(int code) {
  switch (code) {
  case 0:
    return "";
  case WSAEINTR:
    return "Interrupted system call";
  case WSAEBADF:
    return "Bad file number";
  case WSAEACCES:
    return "Permission denied";
  case WSAEFAULT:
    return "Bad address";
  case WSAEINVAL:
    return "Invalid argument";
  case WSAEMFILE:
    return "Too many open files";
  case WSAEWOULDBLOCK:
    return "Operation would block";
  case WSAEINPROGRESS:
    return "Operation now in progress";
  case WSAEALREADY:
    return "Operation already in progress";
  case WSAENOTSOCK:
    return "Socket operation on nonsocket";
  case WSAEDESTADDRREQ:
    return "Destination address required";
  case WSAEMSGSIZE:
    return "Message too long";
  case WSAEPROTOTYPE:
    return "Protocol wrong type for Socket";
  case WSAENOPROTOOPT:
    return "Protocol not available";
  case WSAEPROTONOSUPPORT:
    return "Protocol not supported";
  case WSAESOCKTNOSUPPORT:
    return "Socket not supported";
  case WSAEOPNOTSUPP:
    return "Operation not supported on Socket";
  case WSAEPFNOSUPPORT:
    return "Protocol family not supported";
  case WSAEAFNOSUPPORT:
    return "Address family not supported";
  case WSAEADDRINUSE:
    return "Address already in use";
  case WSAEADDRNOTAVAIL:
    return "Can't assign requested address";
  case WSAENETDOWN:
    return "Network is down";
  case WSAENETUNREACH:
    return "Network is unreachable";
  case WSAENETRESET:
    return "Network dropped connection on reset";
  case WSAECONNABORTED:
    return "Software caused connection abort";
  case WSAECONNRESET:
    return "Connection reset by peer";
  case WSAENOBUFS:
    return "No Buffer space available";
  case WSAEISCONN:
    return "Socket is already connected";
  case WSAENOTCONN:
    return "Socket is not connected";
  case WSAESHUTDOWN:
    return "Can't send after Socket shutdown";
  case WSAETOOMANYREFS:
    return "Too many references:can't splice";
  case WSAETIMEDOUT:
    return "Connection timed out";
  case WSAECONNREFUSED:
    return "Connection refused";
  case WSAELOOP:
    return "Too many levels of symbolic links";
  case WSAENAMETOOLONG:
    return "File name is too long";
  case WSAEHOSTDOWN:
    return "Host is down";
  case WSAEHOSTUNREACH:
    return "No route to host";
  case WSAENOTEMPTY:
    return "Directory is not empty";
  case WSAEPROCLIM:
    return "Too many processes";
  case WSAEUSERS:
    return "Too many users";
  case WSAEDQUOT:
    return "Disk quota exceeded";
  case WSAESTALE:
    return "Stale NFS file handle";
  case WSAEREMOTE:
    return "Too many levels of remote in path";
  case WSASYSNOTREADY:
    return "Network subsystem is unusable";
  case WSAVERNOTSUPPORTED:
    return "Winsock DLL cannot support this application";
  case WSANOTINITIALISED:
    return "Winsock not initialized";
  case WSAEDISCON:
    return "Disconnect";
  case WSAHOST_NOT_FOUND:
    return "Host not found";
  case WSATRY_AGAIN:
    return "Non authoritative - host not found";
  case WSANO_RECOVERY:
    return "Non recoverable error";
  case WSANO_DATA:
    return "Valid name, no data record of requested type";
  default:
    return "Other Winsock error (" + std::to_string(code) + ")";
  }
}

int ErrnoToWinsock(int err) {
  switch (err) {
  case 0:
    return 0;
  case EINTR:
    return WSAEINTR;
  case EBADF:
    return WSAEBADF;
  case EACCES:
    return WSAEACCES;
  case EPERM:
    return WSAEACCES; // e.g. a send refused by the packet filter
  case EFAULT:
    return WSAEFAULT;
  case EINVAL:
    return WSAEINVAL;
  case EMFILE:
    return WSAEMFILE;
  case ENFILE:
    return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
  case EAGAIN:
    return WSAEWOULDBLOCK;
#endif
  case EWOULDBLOCK:
    return WSAEWOULDBLOCK;
  case EINPROGRESS:
    return WSAEINPROGRESS;
  case EALREADY:
    return WSAEALREADY;
  case ENOTSOCK:
    return WSAENOTSOCK;
  case EDESTADDRREQ:
    return WSAEDESTADDRREQ;
  case EMSGSIZE:
    return WSAEMSGSIZE;
  case EPROTOTYPE:
    return WSAEPROTOTYPE;
  case ENOPROTOOPT:
    return WSAENOPROTOOPT;
  case EPROTONOSUPPORT:
    return WSAEPROTONOSUPPORT;
  case ESOCKTNOSUPPORT:
    return WSAESOCKTNOSUPPORT;
  case EOPNOTSUPP:
    return WSAEOPNOTSUPP;
  case EPFNOSUPPORT:
    return WSAEPFNOSUPPORT;
  case EAFNOSUPPORT:
    return WSAEAFNOSUPPORT;
  case EADDRINUSE:
    return WSAEADDRINUSE;
  case EADDRNOTAVAIL:
    return WSAEADDRNOTAVAIL;
  case ENETDOWN:
    return WSAENETDOWN;
  case ENETUNREACH:
    return WSAENETUNREACH;
  case ENETRESET:
    return WSAENETRESET;
  case ECONNABORTED:
    return WSAECONNABORTED;
  case ECONNRESET:
    return WSAECONNRESET;
  // A send on a connection the peer has closed: what Winsock reports as a reset.
  case EPIPE:
    return WSAECONNRESET;
  case ENOBUFS:
    return WSAENOBUFS;
  case ENOMEM:
    return WSAENOBUFS;
  case EISCONN:
    return WSAEISCONN;
  case ENOTCONN:
    return WSAENOTCONN;
  case ESHUTDOWN:
    return WSAESHUTDOWN;
  case ETOOMANYREFS:
    return WSAETOOMANYREFS;
  case ETIMEDOUT:
    return WSAETIMEDOUT;
  case ECONNREFUSED:
    return WSAECONNREFUSED;
  case ELOOP:
    return WSAELOOP;
  case ENAMETOOLONG:
    return WSAENAMETOOLONG;
  case EHOSTDOWN:
    return WSAEHOSTDOWN;
  case EHOSTUNREACH:
    return WSAEHOSTUNREACH;
  case ENOTEMPTY:
    return WSAENOTEMPTY;
  case EUSERS:
    return WSAEUSERS;
  case EDQUOT:
    return WSAEDQUOT;
  case ESTALE:
    return WSAESTALE;
  case EREMOTE:
    return WSAEREMOTE;
  default:
    return err;
  }
}

int AddrInfoErrorToWinsock(int eai, int err) {
  switch (eai) {
  case 0:
    return 0;
  case EAI_NONAME:
    return WSAHOST_NOT_FOUND;
  case EAI_AGAIN:
    return WSATRY_AGAIN;
  case EAI_FAIL:
    return WSANO_RECOVERY;
#ifdef EAI_NODATA
  case EAI_NODATA:
    return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
  case EAI_ADDRFAMILY:
    return WSANO_DATA;
#endif
  case EAI_SERVICE:
    return WSATYPE_NOT_FOUND;
  case EAI_FAMILY:
    return WSAEAFNOSUPPORT;
  case EAI_SOCKTYPE:
    return WSAESOCKTNOSUPPORT;
  case EAI_BADFLAGS:
    return WSAEINVAL;
  case EAI_MEMORY:
    return WSAENOBUFS;
  case EAI_OVERFLOW:
    return WSAEFAULT;
  case EAI_SYSTEM:
    return err ? ErrnoToWinsock(err) : WSANO_RECOVERY;
  default:
    return WSANO_RECOVERY;
  }
}

} // namespace kv::net

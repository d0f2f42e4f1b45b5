#include "net/WinSockErrors.h"

#include <cerrno>

namespace WinSock {
namespace {

struct ErrorEntry {
    int code;
    int posixErrno; // 0 where Linux has no counterpart
    const char* text;
};

constexpr ErrorEntry Errors[] = {
    {10004, EINTR, "Interrupted system call"},
    {10009, EBADF, "Bad file number"},
    {10013, EACCES, "Permission denied"},
    {10014, EFAULT, "Bad address"},
    {10022, EINVAL, "Invalid argument"},
    {10024, EMFILE, "Too many open files"},
    {10035, EWOULDBLOCK, "Operation would block"},
    {10036, EINPROGRESS, "Operation now in progress"},
    {10037, EALREADY, "Operation already in progress"},
    {10038, ENOTSOCK, "Socket operation on non-socket"},
    {10039, EDESTADDRREQ, "Destination address required"},
    {10040, EMSGSIZE, "Message too long"},
    {10041, EPROTOTYPE, "Protocol wrong type for socket"},
    {10042, ENOPROTOOPT, "Protocol not available"},
    {10043, EPROTONOSUPPORT, "Protocol not supported"},
    {10044, ESOCKTNOSUPPORT, "Socket type not supported"},
    {10045, EOPNOTSUPP, "Operation not supported on socket"},
    {10046, EPFNOSUPPORT, "Protocol family not supported"},
    {10047, EAFNOSUPPORT, "Address family not supported by protocol family"},
    {10048, EADDRINUSE, "Address already in use"},
    {10049, EADDRNOTAVAIL, "Can't assign requested address"},
    {10050, ENETDOWN, "Network is down"},
    {10051, ENETUNREACH, "Network is unreachable"},
    {10052, ENETRESET, "Network dropped connection on reset"},
    {10053, ECONNABORTED, "Software caused connection abort"},
    {10054, ECONNRESET, "Connection reset by peer"},
    {10055, ENOBUFS, "No buffer space available"},
    {10056, EISCONN, "Socket is already connected"},
    {10057, ENOTCONN, "Socket is not connected"},
    {10058, ESHUTDOWN, "Can't send after socket shutdown"},
    {10059, ETOOMANYREFS, "Too many references: can't splice"},
    {10060, ETIMEDOUT, "Connection timed out"},
    {10061, ECONNREFUSED, "Connection refused"},
    {10062, ELOOP, "Too many levels of symbolic links"},
    {10063, ENAMETOOLONG, "File name too long"},
    {10064, EHOSTDOWN, "Host is down"},
    {10065, EHOSTUNREACH, "No route to host"},
    {10066, ENOTEMPTY, "Directory not empty"},
    {10067, 0, "Too many processes"},
    {10068, EUSERS, "Too many users"},
    {10069, EDQUOT, "Disc quota exceeded"},
    {10070, ESTALE, "Stale NFS file handle"},
    {10071, EREMOTE, "Too many levels of remote in path"},
    {10091, 0, "Network sub-system is unusable"},
    {10092, 0, "WinSock DLL cannot support this application"},
    {10093, 0, "WinSock not initialized"},
    {11001, 0, "Host not found"},
    {11002, 0, "Non-authoritative host not found"},
    {11003, 0, "Non-recoverable error"},
    {11004, 0, "No Data"},
};

constexpr int UnknownError = 10000;

} // namespace

QString ErrorText(int code) {
    for (const ErrorEntry& e : Errors) {
        if (e.code == code) {
            return QString::fromLatin1(e.text);
        }
    }
    return QStringLiteral("Not a WinSock error");
}

int FromErrno(int err) {
    if (err == 0) {
        return 0;
    }
    for (const ErrorEntry& e : Errors) {
        if (e.posixErrno == err) {
            return e.code;
        }
    }
    return UnknownError;
}

} // namespace WinSock

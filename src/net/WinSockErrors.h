#pragma once

#include <QString>

// Socket errors are reported in WinSock numbering, which is what users and the trace know.
namespace WinSock {

// English text for a WinSock error number; "Not a WinSock error" for anything unlisted.
QString ErrorText(int code);

// The WinSock number for a POSIX errno value; 0 stays 0, and an errno without a WinSock
// counterpart becomes 10000, which has no text of its own.
int FromErrno(int err);

} // namespace WinSock

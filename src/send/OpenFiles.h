#pragma once

#include <QtGlobal>

// How many files this process may hold open. Each upload holds a socket and its file, and a
// name's look-up a pipe, so a run of many uploads at once needs more than the usual soft limit.
namespace OpenFiles {

// Raises the soft limit to the hard one, as far as the system lets; returns the soft limit then.
qint64 RaiseLimit();
// The soft limit now.
qint64 Limit();

} // namespace OpenFiles

#include "send/OpenFiles.h"

#include <limits>
#include <sys/resource.h>

namespace OpenFiles {

namespace {

// An unlimited hard limit still meets the kernel's own ceiling (fs.nr_open): a million is
// below any default of it.
constexpr rlim_t Ceiling = 1 << 20;

qint64 Counted(rlim_t limit) {
    return limit == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : qint64(limit);
}

} // namespace

qint64 RaiseLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return -1;
    }
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? Ceiling : limit.rlim_max;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) {
        return Counted(limit.rlim_cur);
    }
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = wanted;
    return Counted(setrlimit(RLIMIT_NOFILE, &limit) == 0 ? wanted : before);
}

qint64 Limit() {
    rlimit limit{};
    return getrlimit(RLIMIT_NOFILE, &limit) == 0 ? Counted(limit.rlim_cur) : -1;
}

} // namespace OpenFiles

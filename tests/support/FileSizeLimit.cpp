#include "support/FileSizeLimit.h"

#include <csignal>
#include <sys/resource.h>

void WithFileSizeLimit(long bytes, const std::function<void()>& action) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    // A write past the limit then fails instead of killing the process.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &small);
    action();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
}

#include "FileAccess.h"

#include <QFile>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

bool SetImmutable(const QString& path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

} // namespace

void AsOrdinaryUser(const std::function<void()>& action) {
    const uid_t uid = setfsuid(Nobody);
    const gid_t gid = setfsgid(Nobody);
    action();
    setfsgid(gid);
    setfsuid(uid);
}

ImmutableFile::ImmutableFile(const QString& path)
    : path(path)
    , set(SetImmutable(path, true)) {}

ImmutableFile::~ImmutableFile() {
    if (set) {
        SetImmutable(path, false);
    }
}

#include "support/FileAccess.h"

#include <QFile>
#include <fcntl.h>
#include <linux/fs.h>
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
    // Real and effective ids both, since access() asks by the real one; root stays the saved id
    // to come back to. An ordinary user cannot change ids and stays who they are.
    uid_t ruid = 0, euid = 0, suid = 0;
    gid_t rgid = 0, egid = 0, sgid = 0;
    getresuid(&ruid, &euid, &suid);
    getresgid(&rgid, &egid, &sgid);
    const bool changed =
        euid == 0 && setresgid(Nobody, Nobody, 0) == 0 && setresuid(Nobody, Nobody, 0) == 0;
    action();
    if (changed && (setresuid(ruid, euid, suid) != 0 || setresgid(rgid, egid, sgid) != 0)) {
        qFatal("cannot become root again");
    }
}

void GiveToOrdinaryUser(const QString& path) {
    if (chown(QFile::encodeName(path).constData(), Nobody, Nobody) != 0) {
        // Not root: the file is the user's own already.
    }
}

ImmutableFile::ImmutableFile(const QString& path)
    : path(path)
    , set(SetImmutable(path, true)) {}

ImmutableFile::~ImmutableFile() {
    if (set) {
        SetImmutable(path, false);
    }
}

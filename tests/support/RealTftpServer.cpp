#include "support/RealTftpServer.h"

#include "support/LoopbackSocket.h"

#include <QFile>
#include <csignal>
#include <unistd.h>

QString RealTftpServer::atftpdProgram() {
    // scripts/test unpacks Debian's atftpd into the build folder: it cannot be installed beside
    // tftpd-hpa.
    const QString unpacked = QStringLiteral(ZANVEL_BINARY_DIR "/atftpd/usr/sbin/atftpd");
    return QFile::exists(unpacked) ? unpacked : QString();
}

RealTftpServer::RealTftpServer(Kind kind, bool canCreate, int retransmitMs, bool ipv6) {
    if (geteuid() != 0) {
        reason = QStringLiteral(
            "the servers must run as root here: they confine themselves with chroot");
        return;
    }
    QFile::setPermissions(root.path(), QFileDevice::Permissions(0x7777));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    listenPort = FreeUdpPort();
    if (kind == TftpdHpa) {
        if (!QFile::exists(QStringLiteral("/usr/sbin/in.tftpd"))) {
            reason = QStringLiteral("in.tftpd is not installed (Debian package tftpd-hpa)");
            return;
        }
        QStringList arguments{
            (ipv6 ? QStringLiteral("[::1]:%1") : QStringLiteral("%1")).arg(listenPort),
            root.path()};
        if (canCreate) {
            arguments << QStringLiteral("--create");
        }
        if (retransmitMs > 0) {
            arguments << QStringLiteral("--retransmit") << QString::number(retransmitMs * 1000);
        }
        process.start(QStringLiteral(ZANVEL_SOURCE_DIR "/scripts/tftpd-hpa"), arguments);
    } else {
        const QString program = atftpdProgram();
        if (program.isEmpty()) {
            reason =
                QStringLiteral("atftpd is not unpacked in the build folder (scripts/test does it)");
            return;
        }
        QStringList arguments{
            "--daemon",       "--no-fork", "--port",    QString::number(listenPort),
            "--bind-address", "127.0.0.1", "--user",    "root",
            "--group",        "root",      "--logfile", "/dev/null"};
        if (retransmitMs > 0) {
            arguments << QStringLiteral("--retry-timeout")
                      << QString::number(qMax(1, (retransmitMs + 999) / 1000));
        }
        process.start(program, arguments << root.path());
    }
    if (!process.waitForStarted()) {
        reason = process.errorString();
        return;
    }
    // Ready once it answers a read request for a file that is not there.
    const char* const address = ipv6 ? "::1" : "127.0.0.1";
    LoopbackSocket probe(address);
    for (int attempt = 0; attempt < 50; ++attempt) {
        probe.sendTo(listenPort, QByteArray("\0\1probe\0octet\0", 15), address);
        if (probe.receive(100)) {
            return;
        }
    }
    reason = QStringLiteral("the server does not answer");
}

RealTftpServer::~RealTftpServer() {
    kill();
}

void RealTftpServer::kill() {
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    // The server forks a process for every transfer; those go first, then the server itself.
    const qint64 pid = process.processId();
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : children.readAll().split(' ')) {
            if (child.toInt() > 0) {
                ::kill(child.toInt(), SIGKILL);
            }
        }
    }
    process.kill();
    process.waitForFinished(5000);
}

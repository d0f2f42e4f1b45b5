#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real TFTP server on a loopback port, serving a temporary folder, stopped by its process id
// when this goes. Empty program() means it is not installed.
class RealTftpServer {
public:
    enum Kind { TftpdHpa, Atftpd };

    // canCreate: whether the server may create files it is sent. retransmitMs: how long it
    // waits for the next packet before it sends its last one again (atftpd in whole seconds);
    // 0 keeps the server's default, a second for tftpd-hpa, five for atftpd. ipv6: on ::1
    // instead of 127.0.0.1 (tftpd-hpa only).
    explicit RealTftpServer(Kind kind, bool canCreate = true, int retransmitMs = 0,
                            bool ipv6 = false);
    ~RealTftpServer();

    // Why the server cannot run here, or empty when it runs and answers.
    QString unavailable() const { return reason; }
    quint16 port() const { return listenPort; }
    QString filePath(const QString& name) const { return root.filePath(name); }
    void kill();

    static QString atftpdProgram();

private:
    QTemporaryDir root;
    QProcess process;
    quint16 listenPort = 0;
    QString reason;
};

// Skips the test function when the server cannot run here, saying why.
#define SKIP_UNLESS_RUNNING(server)                                                                \
    do {                                                                                           \
        if (!(server).unavailable().isEmpty()) {                                                   \
            QSKIP(qPrintable((server).unavailable()));                                             \
        }                                                                                          \
    } while (false)

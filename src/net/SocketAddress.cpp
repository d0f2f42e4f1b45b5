#include "net/SocketAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace {

QByteArray Unbracketed(const QString& host) {
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        return host.sliced(1, host.size() - 2).toUtf8();
    }
    return host.toUtf8();
}

QList<TSocketAddress> Resolve(const QString& host, int flags, QString* why = nullptr) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (const int failed = getaddrinfo(Unbracketed(host).constData(), nullptr, &hints, &found)) {
        // That the name is unknown goes without saying; a name server that did not answer, or
        // failed, is worth saying: the name may well exist.
        if (why && failed != EAI_NONAME && failed != EAI_NODATA) {
            QString text = QString::fromLocal8Bit(gai_strerror(failed));
            if (!text.isEmpty()) {
                text[0] = text[0].toLower();
            }
            *why = text;
        }
        return {};
    }
    QList<TSocketAddress> addresses;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        TSocketAddress address;
        std::memcpy(&address.Storage, a->ai_addr, a->ai_addrlen);
        address.Length = a->ai_addrlen;
        addresses.append(address);
    }
    freeaddrinfo(found);
    return IPv4First(addresses);
}

} // namespace

quint16 TSocketAddress::Port() const {
    return ntohs(Family() == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(Storage).sin6_port
                                      : reinterpret_cast<const sockaddr_in&>(Storage).sin_port);
}

void TSocketAddress::SetPort(quint16 Port) {
    if (Family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(Storage).sin6_port = htons(Port);
    } else {
        reinterpret_cast<sockaddr_in&>(Storage).sin_port = htons(Port);
    }
}

QString TSocketAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(Storage).sin6_addr, text,
                  sizeof text);
    } else {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(Storage).sin_addr, text,
                  sizeof text);
    }
    return QString::fromLatin1(text);
}

bool TSocketAddress::SameHost(const TSocketAddress& Other) const {
    if (Family() != Other.Family()) {
        return false;
    }
    if (Family() == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(Storage).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(Other.Storage).sin6_addr,
                           sizeof(in6_addr)) == 0;
    }
    return Family() == AF_INET &&
           reinterpret_cast<const sockaddr_in&>(Storage).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(Other.Storage).sin_addr.s_addr;
}

QList<TSocketAddress> IPv4First(const QList<TSocketAddress>& Addresses) {
    QList<TSocketAddress> ordered;
    for (const int family : {AF_INET, AF_INET6}) {
        for (const TSocketAddress& a : Addresses) {
            if (a.Family() == family) {
                ordered.append(a);
            }
        }
    }
    return ordered;
}

QList<TSocketAddress> ResolveHost(const QString& Host, QString* Why) {
    return Resolve(Host, 0, Why);
}

QList<TSocketAddress> ResolveNumericHost(const QString& Host) {
    return Resolve(Host, AI_NUMERICHOST);
}

bool IsIpAddress(const QString& Host) {
    const bool bracketed = Host.startsWith(u'[') && Host.endsWith(u']');
    QByteArray text = Unbracketed(Host);
    const qsizetype scope = text.indexOf('%');
    if (scope >= 0) {
        text.truncate(scope);
    }
    in6_addr address;
    return (!bracketed && scope < 0 && inet_pton(AF_INET, text.constData(), &address) == 1) ||
           inet_pton(AF_INET6, text.constData(), &address) == 1;
}

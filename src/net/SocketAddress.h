#pragma once

#include <QList>
#include <QString>
#include <sys/socket.h>

// One resolved IPv4 or IPv6 address, with a port once one is given.
struct TSocketAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;

    int Family() const { return Storage.ss_family; }
    quint16 Port() const;
    void SetPort(quint16 Port);
    // The address alone, as inet_ntop writes it: 192.0.2.5, 2001:db8::5.
    QString Text() const;
    // Whether Other is the same address of the same family, whatever the ports.
    bool SameHost(const TSocketAddress& Other) const;
};

// The addresses of a host name, a dotted-decimal IPv4 address or an IPv6 address (bare, in
// brackets, or with its scope: fe80::1%eth0), from one look-up for both families: the IPv4
// addresses first, in the resolver's order, then the IPv6 ones. Empty when there are none.
// A name may take the resolver seconds; an address never does. When the look-up failed for
// another reason than an unknown name (a name server that did not answer), Why says it as the
// resolver does, "temporary failure in name resolution".
QList<TSocketAddress> ResolveHost(const QString& Host, QString* Why = nullptr);

// The IPv4 addresses first, then the IPv6 ones, each in the order given: servers have long been
// reached over IPv4, and a name's IPv6 address is tried when nothing listens at the IPv4 one.
QList<TSocketAddress> IPv4First(const QList<TSocketAddress>& Addresses);

// The same for an address alone, without asking the resolver: empty for a name.
QList<TSocketAddress> ResolveNumericHost(const QString& Host);

// Whether Host is written as an IP address: four dotted decimal numbers, or an IPv6 address,
// bare or in brackets, perhaps with its scope.
bool IsIpAddress(const QString& Host);

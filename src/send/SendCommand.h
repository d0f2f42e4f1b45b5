#pragma once

#include "transfer/TransferResult.h"

#include <QString>
#include <QStringList>
#include <optional>

class TEntryList;
class TServerEntry;

// What zanvel-send was asked to do, from its command line.
struct TSendArguments {
    bool List = false;
    bool Help = false;
    bool Version = false;
    bool Trace = false;
    bool Quiet = false;
    // How long to wait for an answer before sending again; 0 for the upload's own 5000 ms.
    int RetransmitMs = 0;
    // Options to ask the server for, over the entry's own; 0 leaves the entry's.
    int BlkSize = 0;
    int WindowSize = 0;
    // Another entrys.txt; empty for the program's own.
    QString Store;
    QStringList Operands;
};

// The arguments after the program's name; a usage error is thrown as std::invalid_argument.
TSendArguments ParseSendArguments(const QStringList& Arguments);

// The entry a NAME operand means: the one named exactly so, otherwise the one whose name starts
// with NAME in any letter case. Candidates lists every entry that starts so when there is more
// than one, and is empty otherwise.
struct TEntryMatch {
    const TServerEntry* Entry = nullptr;
    QStringList Candidates;
};
TEntryMatch FindEntry(const TEntryList& List, const QString& Name);

// HOST, HOST:PORT, [ADDRESS] or [ADDRESS]:PORT; an IPv6 address with more than one colon may
// stand bare, without a port. Port 69 when none is given; nothing for a malformed text.
struct THostPort {
    QString Host;
    qint32 Port = 69;
};
std::optional<THostPort> ParseHostPort(const QString& Text);
// Whether the operand names a port or brackets an address, so that it cannot be a plain name.
bool LooksLikeHostWithPort(const QString& Text);

// 1.5 KiB, 8.0 MiB: bytes in binary units, one decimal above 1 KiB.
QString FormatBytes(qint64 Bytes);
// The line a terminal shows while an upload runs: percent, bytes acknowledged, rate, time left.
QString ProgressLine(qint64 Acked, qint64 Total, double Seconds);
// The line that says how an upload ended, in plain English.
QString ResultLine(TransferResult Result, qint64 Bytes, double Seconds);

// Exit statuses besides those of the results.
constexpr int ExitUsage = 2;
constexpr int ExitStoreUnreadable = 1;

QString SendUsage();

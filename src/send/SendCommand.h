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
    // Each upload's end as a JSON object on standard output.
    bool Json = false;
    // How long to wait for an answer before sending again, and the sends before a time-out;
    // 0 for the entry's own (5000 ms, five sends).
    int RetransmitMs = 0;
    int Retries = 0;
    // How long to wait for a device that is not up yet; 0 for the entry's own.
    int WaitSeconds = 0;
    // --each PATTERN: every saved entry whose name matches; empty for the operands' uploads.
    QString Each;
    // Uploads at the same time under --each.
    int Jobs = 8;
    // Options to ask the server for, over the entry's own; 0 leaves the entry's.
    int BlkSize = 0;
    int WindowSize = 0;
    // Another entrys.txt; empty for the program's own.
    QString Store;
    QStringList Operands;
};

// The arguments after the program's name; a usage error is thrown as std::invalid_argument.
TSendArguments ParseSendArguments(const QStringList& Arguments);

// The entry with what the command line asks for over its own: options, timing, waiting.
void OverrideEntry(TServerEntry& Entry, const TSendArguments& Arguments);

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
// The line a terminal shows while an upload waits for a device to come up.
QString WaitingLine(int SecondsLeft);
// The line that says how an upload ended, in plain English.
QString ResultLine(TransferResult Result, qint64 Bytes, double Seconds);

// Exit statuses besides those of the results.
constexpr int ExitUsage = 2;
constexpr int ExitStoreUnreadable = 1;
// A time-out with every block sent: the device may be writing the file to flash.
constexpr int ExitLastBlockUnacknowledged = 9;

// Whether a saved entry's name matches a shell-style pattern (*, ?, [...]).
bool NameMatches(const QString& Pattern, const QString& Name);

// How one upload ended, for its result line, the summary and --json.
struct TUploadReport {
    QString EntryName; // empty for an upload to a host
    QString Server;    // the host as given
    QString Address;   // the address the server was found at; empty when never reached
    qint32 Port = 69;
    QString RemoteFile;
    qint64 Bytes = 0;
    // The file's size, and whether the server answered at all.
    qint64 Total = 0;
    bool Answered = false;
    double Seconds = 0;
    TransferResult Result = trAborted;
    // False for an upload Ctrl+C kept from starting: its result is "not started".
    bool Started = true;
    bool AllDataSent = false;
    // Why it failed, in plain English, and the server's own error message, if it sent one.
    QString Failure;
    QString ServerError;

    int ExitStatus() const;
    // "completed: 8.0 MiB in 1.2 s (to entry ...)", or the failure and why.
    QString Line() const;
    // Where the file went: the entry or host, the address, port and remote name.
    QString Destination() const;
    // One line of JSON, without its line break.
    QByteArray Json() const;
};

QString SendUsage();

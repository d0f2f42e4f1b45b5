#include "send/SendCommand.h"

#include "entries/EntryList.h"
#include "net/SocketAddress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <fnmatch.h>
#include <stdexcept>

namespace {

[[noreturn]] void Usage(const QString& Message) {
    throw std::invalid_argument(Message.toStdString());
}

std::optional<qint32> PortNumber(const QString& Text) {
    bool ok = false;
    const int port = Text.toInt(&ok, 10);
    if (!ok || port < 0 || port > 65535 || Text.startsWith(u'+') || Text.startsWith(u'-')) {
        return std::nullopt;
    }
    return port;
}

// The options that take a number: --name N or --name=N.
struct TNumberOption {
    QString Name;
    const char* Unit;
    int Low;
    int High;
    int TSendArguments::*Field;
};

std::optional<TNumberOption> NumberOption(const QString& Argument) {
    // clang-format off
    static const TNumberOption Options[] = {
        {QStringLiteral("--retransmit"), "milliseconds", 1, MaxRetransmitMs, &TSendArguments::RetransmitMs},
        {QStringLiteral("--blksize"), "bytes", MinBlkSize, MaxBlkSize, &TSendArguments::BlkSize},
        {QStringLiteral("--windowsize"), "blocks", 1, MaxWindowSize, &TSendArguments::WindowSize},
        {QStringLiteral("--retries"), "sends", 1, MaxRetries, &TSendArguments::Retries},
        {QStringLiteral("--wait"), "seconds", 1, MaxWaitSeconds, &TSendArguments::WaitSeconds},
        {QStringLiteral("--jobs"), "uploads", 1, 1024, &TSendArguments::Jobs},
    };
    // clang-format on
    for (const TNumberOption& option : Options) {
        if (Argument == option.Name || Argument.startsWith(option.Name + u'=')) {
            return option;
        }
    }
    return std::nullopt;
}

} // namespace

TSendArguments ParseSendArguments(const QStringList& Arguments) {
    TSendArguments parsed;
    bool operandsOnly = false;
    bool jobsGiven = false;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& a = Arguments[i];
        if (operandsOnly || !a.startsWith(u'-') || a == u'-') {
            parsed.Operands.append(a);
        } else if (a == u"--") {
            operandsOnly = true;
        } else if (a == u"--list") {
            parsed.List = true;
        } else if (a == u"--help" || a == u"-h") {
            parsed.Help = true;
        } else if (a == u"--version") {
            parsed.Version = true;
        } else if (a == u"--trace") {
            parsed.Trace = true;
        } else if (a == u"--quiet" || a == u"-q") {
            parsed.Quiet = true;
        } else if (a == u"--json") {
            parsed.Json = true;
        } else if (a == u"--each" || a.startsWith(u"--each=")) {
            if (a != u"--each") {
                parsed.Each = a.sliced(7);
            } else if (i + 1 < Arguments.size()) {
                parsed.Each = Arguments[++i];
            }
            if (parsed.Each.isEmpty()) {
                Usage(QStringLiteral("--each needs a PATTERN"));
            }
        } else if (const auto option = NumberOption(a)) {
            QString value = a.sliced(qMin(a.size(), option->Name.size() + 1));
            if (!a.contains(u'=') && i + 1 < Arguments.size()) {
                value = Arguments[++i];
            }
            bool ok = false;
            const int number = value.toInt(&ok);
            if (!ok || number < option->Low || number > option->High) {
                Usage(QStringLiteral("%1 needs %2, %3 to %4")
                          .arg(option->Name, QLatin1String(option->Unit))
                          .arg(option->Low)
                          .arg(option->High));
            }
            parsed.*(option->Field) = number;
            jobsGiven = jobsGiven || option->Field == &TSendArguments::Jobs;
        } else if (a == u"--store" || a.startsWith(u"--store=")) {
            if (a != u"--store") {
                parsed.Store = a.sliced(8);
            } else if (i + 1 < Arguments.size()) {
                parsed.Store = Arguments[++i];
            } else {
                Usage(QStringLiteral("--store needs a file"));
            }
            if (parsed.Store.isEmpty()) {
                Usage(QStringLiteral("--store needs a file"));
            }
        } else {
            Usage(QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (parsed.Help || parsed.Version) {
        return parsed;
    }
    if (parsed.List && !parsed.Operands.isEmpty()) {
        Usage(QStringLiteral("--list takes no operands"));
    }
    if (parsed.List && parsed.Json) {
        Usage(QStringLiteral("--json and --list do not go together"));
    }
    if (jobsGiven && parsed.Each.isEmpty()) {
        Usage(QStringLiteral("--jobs goes with --each"));
    }
    if (!parsed.Each.isEmpty()) {
        if (parsed.List) {
            Usage(QStringLiteral("--each and --list do not go together"));
        }
        if (parsed.Operands.size() > 1) {
            Usage(QStringLiteral("--each takes at most one FILE"));
        }
        // Standard input can be read once, for one upload.
        if (parsed.Operands == QStringList{QStringLiteral("-")}) {
            Usage(QStringLiteral("--each cannot send standard input (-)"));
        }
        return parsed;
    }
    if (!parsed.List && parsed.Operands.isEmpty()) {
        Usage(QStringLiteral("no entry or host given"));
    }
    return parsed;
}

void OverrideEntry(TServerEntry& Entry, const TSendArguments& Arguments) {
    const std::pair<int, qint32 TServerEntry::*> overrides[] = {
        {Arguments.BlkSize, &TServerEntry::BlkSize},
        {Arguments.WindowSize, &TServerEntry::WindowSize},
        {Arguments.RetransmitMs, &TServerEntry::RetransmitMs},
        {Arguments.Retries, &TServerEntry::Retries},
        {Arguments.WaitSeconds, &TServerEntry::WaitForTarget},
    };
    for (const auto& [value, field] : overrides) {
        if (value > 0) {
            Entry.*field = value;
        }
    }
}

TEntryMatch FindEntry(const TEntryList& List, const QString& Name) {
    TEntryMatch match;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Get(i)->EntryName == Name) {
            match.Entry = List.Get(i);
            return match;
        }
    }
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Get(i)->EntryName.startsWith(Name, Qt::CaseInsensitive)) {
            match.Candidates.append(List.Get(i)->EntryName);
        }
    }
    if (match.Candidates.size() == 1) {
        for (int i = 0; i < List.Count() && !match.Entry; ++i) {
            if (List.Get(i)->EntryName == match.Candidates.constFirst()) {
                match.Entry = List.Get(i);
            }
        }
        match.Candidates.clear();
    }
    return match;
}

std::optional<THostPort> ParseHostPort(const QString& Text) {
    THostPort parsed;
    QString port;
    if (Text.startsWith(u'[')) {
        const qsizetype close = Text.indexOf(u']');
        if (close < 0) {
            return std::nullopt;
        }
        parsed.Host = Text.sliced(1, close - 1);
        const QString rest = Text.sliced(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':')) {
                return std::nullopt;
            }
            port = rest.sliced(1);
        }
    } else if (Text.count(u':') == 1) {
        const qsizetype colon = Text.indexOf(u':');
        parsed.Host = Text.first(colon);
        port = Text.sliced(colon + 1);
    } else {
        // No colon, or a bare IPv6 address, whose colons are its own.
        parsed.Host = Text;
    }
    if (parsed.Host.isEmpty()) {
        return std::nullopt;
    }
    if (!port.isNull()) {
        const std::optional<qint32> number = PortNumber(port);
        if (!number) {
            return std::nullopt;
        }
        parsed.Port = *number;
    }
    return parsed;
}

bool LooksLikeHostWithPort(const QString& Text) {
    return Text.startsWith(u'[') || Text.count(u':') == 1;
}

QString FormatBytes(qint64 Bytes) {
    static const char* const Units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (Bytes < 1024) {
        return QStringLiteral("%1 B").arg(Bytes);
    }
    double value = double(Bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(Units[unit]));
}

QString ProgressLine(qint64 Acked, qint64 Total, double Seconds) {
    const int percent = Total > 0 ? int(Acked * 100 / Total) : 0;
    QString line =
        QStringLiteral("%1% %2 of %3").arg(percent, 3).arg(FormatBytes(Acked), FormatBytes(Total));
    if (Seconds > 0 && Acked > 0) {
        const double rate = Acked / Seconds;
        const qint64 left = qint64((Total - Acked) / rate + 0.5);
        line += QStringLiteral(", %1/s, %2:%3 left")
                    .arg(FormatBytes(qint64(rate)))
                    .arg(left / 60)
                    .arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    return line;
}

QString WaitingLine(int SecondsLeft) {
    return QStringLiteral("waiting for the server (%1 s left)").arg(SecondsLeft);
}

QString ResultLine(TransferResult Result, qint64 Bytes, double Seconds) {
    if (Result == trCompleted) {
        return QStringLiteral("completed: %1 in %2 s")
            .arg(FormatBytes(Bytes))
            .arg(Seconds, 0, 'f', 1);
    }
    return TransferResultSummary(Result);
}

bool NameMatches(const QString& Pattern, const QString& Name) {
    return fnmatch(Pattern.toUtf8().constData(), Name.toUtf8().constData(), 0) == 0;
}

int TUploadReport::ExitStatus() const {
    if (Result == trTimeout && AllDataSent) {
        return ExitLastBlockUnacknowledged;
    }
    return TransferResultExitStatus(Result);
}

QString TUploadReport::Destination() const {
    QString server = Server;
    if (!Address.isEmpty() && !IsIpAddress(server)) {
        server += QStringLiteral(" [%1]").arg(Address);
    }
    QString where =
        QStringLiteral("%1 port %2, remote file \"%3\"").arg(server).arg(Port).arg(RemoteFile);
    // A server bound to all of its host's addresses may answer from another than the one asked.
    const QList<TSocketAddress> asked = ResolveNumericHost(Server);
    if (!Address.isEmpty() && !asked.isEmpty() && asked.constFirst().Text() != Address) {
        where += QStringLiteral(", answered from %1").arg(Address);
    }
    return EntryName.isEmpty() ? QStringLiteral("to host %1").arg(where)
                               : QStringLiteral("to entry \"%1\": %2").arg(EntryName, where);
}

QString TUploadReport::Line() const {
    if (!Started) {
        return QStringLiteral("not started");
    }
    QString line;
    if (ExitStatus() == ExitLastBlockUnacknowledged) {
        line = QStringLiteral("all data sent; the last block was not acknowledged: the device may "
                              "still be writing it");
    } else if (Result == trTimeout && Answered) {
        // Not "no answer": the server took part of the file, and how much tells where to look.
        line = QStringLiteral("timed out after %1 of %2 acknowledged: the server stopped answering")
                   .arg(FormatBytes(Bytes), FormatBytes(Total));
    } else {
        line = ResultLine(Result, Bytes, Seconds);
    }
    if (Result != trCompleted && Result != trAborted && !Failure.isEmpty()) {
        line += QStringLiteral(": ") + Failure;
    }
    if (Result != trAborted) {
        line += QStringLiteral(" (%1)").arg(Destination());
    }
    return line;
}

QByteArray TUploadReport::Json() const {
    QString result = TransferResultName(Result);
    if (result.startsWith(QLatin1String("tr"))) {
        result = result.sliced(2).toLower();
    }
    if (!Started) {
        result = QStringLiteral("not started");
    }
    const QJsonObject object{
        {QStringLiteral("entry"), EntryName.isEmpty() ? QJsonValue() : QJsonValue(EntryName)},
        {QStringLiteral("server"), Server},
        {QStringLiteral("address"), Address.isEmpty() ? QJsonValue() : QJsonValue(Address)},
        {QStringLiteral("port"), Port},
        {QStringLiteral("remote"), RemoteFile},
        {QStringLiteral("bytes"), Bytes},
        {QStringLiteral("seconds"), qRound(Seconds * 1000) / 1000.0},
        {QStringLiteral("result"), result},
        {QStringLiteral("status"), ExitStatus()},
        {QStringLiteral("reason"), Failure.isEmpty() ? QJsonValue() : QJsonValue(Failure)},
        {QStringLiteral("server_error"),
         ServerError.isEmpty() ? QJsonValue() : QJsonValue(ServerError)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString SendUsage() {
    return QStringLiteral(
        "usage: zanvel-send [OPTION]... NAME [FILE]...\n"
        "       zanvel-send [OPTION]... HOST[:PORT] LOCAL [REMOTE]\n"
        "       zanvel-send [OPTION]... --each PATTERN [FILE]\n"
        "       zanvel-send [OPTION]... --list\n"
        "Uploads to a TFTP server: the saved entry NAME (alone, also the one entry whose name\n"
        "starts with NAME), each FILE through that entry under its remote name, or LOCAL to HOST\n"
        "(\"[ADDRESS]:PORT\" for IPv6) as REMOTE, by default LOCAL's file name; LOCAL \"-\" is\n"
        "standard input. An operand written as an IP address is always a host.\n"
        "  --list        the saved entries: name, address, port, local file, remote name\n"
        "  --store FILE  read the entries from FILE instead of the program's entrys.txt\n"
        "  --retransmit MS  wait MS milliseconds for an answer before sending again (5000)\n"
        "  --retries N   send N times in all, then time out (5)\n"
        "  --wait SECONDS  send the request once a second until the server first answers,\n"
        "                for a device that is still starting\n"
        "  --each PATTERN  every saved entry whose name matches the shell-style PATTERN,\n"
        "                with FILE instead of its own local file when given\n"
        "  --jobs N      run up to N uploads of --each at the same time (8)\n"
        "  --json        each upload's end as a JSON object on standard output\n"
        "  --blksize N   ask the server for blocks of N bytes (8 to 65464)\n"
        "  --windowsize N  ask the server for windows of N blocks (1 to 65535)\n"
        "                (over the entry's own; the server may grant less, or nothing)\n"
        "  --trace       every step of the upload on standard error\n"
        "  --quiet       no progress and no result line\n"
        "  --help        this text\n"
        "  --version     the version\n"
        "Exit status: 0 completed, 1 no entries to read or output not written, 2 usage,\n"
        "3 bad packet or refused, 4 local file, 5 socket not created, 6 host not found,\n"
        "7 socket error, 8 timed out, 9 all data sent but the last block not acknowledged,\n"
        "130 interrupted; under --each, the status of the first entry that failed.\n");
}

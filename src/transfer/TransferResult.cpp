#include "transfer/TransferResult.h"

namespace {

struct ResultRow {
    TransferResult result;
    const char* name;
    const char* text;
    const char* summary;
    int status;
};

// clang-format off
const ResultRow Results[] = {
    {trCompleted,         "trCompleted",         "送信完了",                                 "completed",                                        0},
    {trAborted,           "trAborted",           "送信中止",                                 "aborted",                                          130},
    {trBadPacket,         "trBadPacket",         "サーバーから不正なパケットを受信しました", "the server refused the file or sent a bad packet", 3},
    {trFileOpenError,     "trFileOpenError",     "ファイルがオープンできません",             "cannot read the local file, or the remote name is too long", 4},
    {trSocketCreateError, "trSocketCreateError", "ソケットの作成ができません",               "cannot create a socket",                           5},
    {trHostNotFound,      "trHostNotFound",      "ホストが見つかりません",                   "host not found",                                   6},
    {trSocketError,       "trSocketError",       "ソケットエラーです",                       "socket error",                                     7},
    {trTimeout,           "trTimeout",           "タイムアウトしました",                     "timed out: no answer from the server",             8},
};
// clang-format on

const ResultRow* Row(int result) {
    for (const auto& r : Results) {
        if (r.result == result) {
            return &r;
        }
    }
    return nullptr;
}

QString Lookup(int result, const char* ResultRow::*field, const char* other) {
    const ResultRow* row = Row(result);
    return QString::fromUtf8(row ? row->*field : other);
}

} // namespace

QString TransferResultName(int result) {
    return Lookup(result, &ResultRow::name, "unknown");
}

QString TransferResultText(int result) {
    return Lookup(result, &ResultRow::text, "予期せぬエラーです");
}

QString TransferStatusText(int result, const QString& failure, const QString& serverError,
                           bool allDataSent) {
    const auto with = [](const QString& text, const QString& why) {
        return QStringLiteral("%1（%2）").arg(text, why);
    };
    if (result == trBadPacket && !serverError.isEmpty()) {
        return with(QStringLiteral("サーバーがエラーを返しました"), serverError);
    }
    if (result == trTimeout && allDataSent) {
        return with(TransferResultText(result),
                    QStringLiteral("全データ送信済み、最終ブロックの応答なし"));
    }
    if (result == trCompleted || result == trAborted || !Row(result) || failure.isEmpty()) {
        return TransferResultText(result);
    }
    return with(TransferResultText(result), failure);
}

QString TransferResultSummary(int result) {
    return Lookup(result, &ResultRow::summary, "unexpected result");
}

int TransferResultExitStatus(int result) {
    const ResultRow* row = Row(result);
    return row ? row->status : 1;
}

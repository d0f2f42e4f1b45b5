#include "transfer/TransferResult.h"

namespace {

struct ResultRow {
    TransferResult result;
    const char* name;
    const char* text;
};

// clang-format off
const ResultRow Results[] = {
    {trCompleted,         "trCompleted",         "送信完了"},
    {trAborted,           "trAborted",           "送信中止"},
    {trBadPacket,         "trBadPacket",         "サーバーから不正なパケットを受信しました"},
    {trFileOpenError,     "trFileOpenError",     "ファイルがオープンできません"},
    {trSocketCreateError, "trSocketCreateError", "ソケットの作成ができません"},
    {trHostNotFound,      "trHostNotFound",      "ホストが見つかりません"},
    {trSocketError,       "trSocketError",       "ソケットエラーです"},
    {trTimeout,           "trTimeout",           "タイムアウトしました"},
};
// clang-format on

QString Lookup(int result, const char* ResultRow::*field, const char* other) {
    for (const auto& r : Results) {
        if (r.result == result) {
            return QString::fromUtf8(r.*field);
        }
    }
    return QString::fromUtf8(other);
}

} // namespace

QString TransferResultName(int result) {
    return Lookup(result, &ResultRow::name, "unknown");
}

QString TransferResultText(int result) {
    return Lookup(result, &ResultRow::text, "予期せぬエラーです");
}

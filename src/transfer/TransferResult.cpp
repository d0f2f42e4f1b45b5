#include "transfer/TransferResult.h"

QString TransferResultName(int result) {
    switch (result) {
    case trCompleted:
        return QStringLiteral("trCompleted");
    case trAborted:
        return QStringLiteral("trAborted");
    case trBadPacket:
        return QStringLiteral("trBadPacket");
    case trFileOpenError:
        return QStringLiteral("trFileOpenError");
    case trSocketCreateError:
        return QStringLiteral("trSocketCreateError");
    case trHostNotFound:
        return QStringLiteral("trHostNotFound");
    case trSocketError:
        return QStringLiteral("trSocketError");
    case trTimeout:
        return QStringLiteral("trTimeout");
    }
    return QStringLiteral("unknown");
}

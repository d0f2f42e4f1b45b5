#pragma once

#include <QString>

// How one upload ended; the progress dialog's modal result. 1 and 2 coincide with the dialog
// results for OK and Cancel.
enum TransferResult {
    trCompleted = 1,
    trAborted = 2,
    trBadPacket = 100,
    trFileOpenError = 101,
    trSocketCreateError = 102,
    trHostNotFound = 103,
    trSocketError = 104,
    trTimeout = 105,
};

// The result's name as written in the code, such as "trCompleted"; "unknown" for other values.
QString TransferResultName(int result);

// What the main window's status bar says of the result; any other value is an unexpected error.
QString TransferResultText(int result);

// What the status bar says of how an upload ended: the result's text, and what the upload knows
// of why. The server's error replaces the bad-packet text; a failure's reason follows in
// parentheses, as does a time-out with every block sent.
QString TransferStatusText(int result, const QString& failure, const QString& serverError,
                           bool allDataSent);

// The result in plain English, for the command line.
QString TransferResultSummary(int result);

// The command line's exit status for the result: 0 completed, 130 aborted (interrupted), 3 to 8
// for the failures in the order above; 1 for any other value.
int TransferResultExitStatus(int result);

#pragma once

#include "send/SendCommand.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;
class TServerEntry;
class TUpload;

// What zanvel-send writes and hears besides its uploads: the streams, the terminal, Ctrl+C.

// False when the stream cannot take the text (a full disk, a closed pipe).
bool Print(FILE* stream, const QString& text);
// The report as one line of JSON on standard output; false when it cannot be written.
bool PrintJson(const TUploadReport& report);
// Output that could not be written (a full disk, a closed pipe) ends the program with this.
constexpr int ExitOutputFailed = 1;
// Says on standard error that `what` could not be written, and why (the errno of the failed
// write); returns ExitOutputFailed.
int OutputFailed(const QString& what, int error);
// The terminal's width in columns and its height in rows; 0 when standard error is no terminal
// or does not say.
int TerminalColumns();
int TerminalRows();
// The columns the text takes on a terminal: East Asian wide characters take two, combining
// marks none.
int DisplayColumns(const QString& Text);

// The lines zanvel-send redraws in place on a terminal: whether they are drawn at all, each cut
// so that it does not wrap, and redrawn at most every tenth of a second.
class TTerminalLines {
public:
    TTerminalLines(bool Draws, int Columns, int Rows = 0);
    // Drawn on standard error when it is a terminal, unless --quiet or --trace is given.
    static TTerminalLines For(const TSendArguments& Arguments);

    bool Draws() const { return FDraws; }
    // Whether to redraw now: always when Now, otherwise once the last redraw is old enough.
    bool Due(bool Now);
    // The line, a label and the figures after it, fitted to the terminal's width less one
    // column, where a line would wrap: the label is cut first, so that the figures stay.
    QString Fitted(const QString& Label, const QString& Figures = QString()) const;
    // How many lines may be redrawn in place: the rows less two, so that none scrolls off and
    // leaves a stale copy behind; any number when the terminal does not say.
    int MostLines() const;

private:
    bool FDraws;
    int Columns;
    int Rows;
    QElapsedTimer SinceRedraw;
};

// From now on Ctrl+C is heard by the event loop instead of ending the program.
void CatchInterrupt();
// Whether Ctrl+C has been caught since CatchInterrupt: for work outside the event loop, whose
// system calls Ctrl+C interrupts.
bool InterruptCaught();
// Calls interrupted, in the event loop, for each Ctrl+C from now on while the notifier lives;
// none when Ctrl+C ends the program the default way.
std::unique_ptr<QSocketNotifier> OnInterrupt(QObject* context,
                                             const std::function<void()>& interrupted);

// How an upload of the entry ended, as far as the upload knows: all but its seconds.
TUploadReport Report(const TServerEntry& entry, bool saved, const TUpload& upload,
                     TransferResult result);

#pragma once

#include <QString>
#include <memory>

class QTemporaryFile;
class TServerEntry;

// What a descriptor gives, to its end, in a temporary file nobody else sees, so that it is
// uploaded like any file: its size known, read as the upload goes. Standard input is copied so,
// and a file whose size says 0 though it has content, as those in /proc do.
struct TLocalCopy {
    // The copy; none when it failed or Ctrl+C ended it.
    std::unique_ptr<QTemporaryFile> File;
    QString Failure;
    bool Interrupted = false;

    TLocalCopy();
    TLocalCopy(TLocalCopy&&) noexcept;
    TLocalCopy& operator=(TLocalCopy&&) noexcept;
    ~TLocalCopy();
};

// The LOCAL operand that stands for standard input.
extern const QString StandardInput;

// The copy the entry's local file needs before it is uploaded: of standard input, or of a file
// whose size says 0 but which gives bytes when read. None for any other file; a file that cannot
// be opened here is left to the upload, which says why.
TLocalCopy LocalCopyFor(const TServerEntry& Entry);

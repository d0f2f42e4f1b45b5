#pragma once

#include <QString>
#include <functional>

// Runs action as an ordinary user (nobody) when run as root, so that a file of mode 000 can be
// neither read nor written, for root as for anybody.
void AsOrdinaryUser(const std::function<void()>& action);

// Gives a file or folder to that user, where this process may (as root).
void GiveToOrdinaryUser(const QString& path);

// Makes a file immutable, so that not even root can remove it, until this goes. Where the file
// system cannot do it, failed() says so.
class ImmutableFile {
public:
    explicit ImmutableFile(const QString& path);
    ~ImmutableFile();
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool failed() const { return !set; }

private:
    const QString path;
    bool set = false;
};

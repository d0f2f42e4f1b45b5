#pragma once

#include <QString>
#include <functional>

// Runs action with the file permissions of an ordinary user (nobody), so that a file of mode
// 000 cannot be read, for root as for anybody.
void AsOrdinaryUser(const std::function<void()>& action);

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

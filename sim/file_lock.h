#pragma once

// An exclusive lock on a file between programs (flock), held for as long as the object lives.

#include <filesystem>

namespace tellumic::sim {

class FileLock
{
public:
    // Opens the file for appending (creating it) and waits for another holder's lock to go.
    // std::filesystem::filesystem_error when the file cannot be opened or locked.
    explicit FileLock(const std::filesystem::path &file);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // The open file, for the holder to append to.
    int fd() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace tellumic::sim

#include "sim/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tellumic::sim {

namespace {

std::filesystem::filesystem_error lockError(const std::filesystem::path &file, int err)
{
    return std::filesystem::filesystem_error("cannot lock", file, std::error_code(err, std::generic_category()));
}

}  // namespace

FileLock::FileLock(const std::filesystem::path &file)
    : m_fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644))
{
    if (m_fd < 0)
        throw lockError(file, errno);
    // A signal that interrupts the wait is no reason to go on without the lock.
    int result = 0;
    while ((result = ::flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        const int err = errno;
        ::close(m_fd);
        throw lockError(file, err);
    }
}

FileLock::~FileLock()
{
    ::close(m_fd);
}

}  // namespace tellumic::sim

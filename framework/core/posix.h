#pragma once

#include <QString>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

// Small pieces for code that calls the system directly.
namespace fw {

// The system's text for an errno value, as a user reads it in a message.
inline QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Runs `call` (a system call) again for as long as a signal interrupts it
// (a negative result with errno EINTR), and returns its last result.
template <class Call>
auto retryOnInterrupt(Call call)
{
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

// Owns a file descriptor and closes it, if any, when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Hands the descriptor over; it is no longer closed here.
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace fw

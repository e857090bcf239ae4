#include "framework/core/systemcalls.h"

#include "framework/core/posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

SystemCalls systemsOwnCalls()
{
    return {[](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
            ::write,
            ::pwrite,
            ::ftruncate,
            ::fsync,
            ::fdatasync,
            ::rename,
            ::unlink,
            ::mkdir};
}

SystemCalls& systemCalls()
{
    static SystemCalls calls = systemsOwnCalls();
    return calls;
}

int SyncFolder(const std::string& folder)
{
    const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    return retryOnInterrupt([&] { return systemCalls().fsync(fd.get()); }) == 0 ? 0 : errno;
}

} // namespace fw

#include "framework/core/diskwork.h"

namespace fw {

namespace {

DiskWorkRunner& runner()
{
    static DiskWorkRunner installed;
    return installed;
}

} // namespace

void RunDiskWork(const std::function<void()>& work)
{
    if (runner())
        runner()(work);
    else
        work();
}

DiskWorkRunner SetDiskWorkRunner(DiskWorkRunner next)
{
    DiskWorkRunner previous = std::move(runner());
    runner() = std::move(next);
    return previous;
}

} // namespace fw

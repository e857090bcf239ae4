#pragma once

#include <functional>

namespace fw {

// Work that waits on the disk (writing, flushing and renaming a saved file)
// goes through RunDiskWork, which returns once the work has run, so its
// caller carries on exactly as if it had run the work itself. The work may
// read the document being saved: a runner that lets the calling thread go
// on meanwhile keeps user input from changing it. By default the
// work runs on the calling thread; a program with windows installs a runner
// that runs it on another thread while its windows keep answering. The
// runner is installed and removed on the thread that saves, while no work is
// running. Exceptions thrown by the work reach the caller of RunDiskWork.
using DiskWorkRunner = std::function<void(const std::function<void()>& work)>;

void RunDiskWork(const std::function<void()>& work);
// Makes `runner` run the disk work from now on; an empty runner puts back
// the default. Returns the runner that was in use.
DiskWorkRunner SetDiskWorkRunner(DiskWorkRunner runner);

} // namespace fw

#include "app/heapwarmup.h"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace HeapWarmUp {
namespace {

// What the tree takes per object: QTreeView's row record (40 bytes in Qt 6)
// and the model's row pointer.
constexpr std::int64_t kTreeBytesPerObject = 48;
// An object's record in a file whose names are short, as most are: the
// estimate errs towards more objects, and what is not taken goes back.
constexpr std::int64_t kFileBytesPerObject = 32;
constexpr std::int64_t kMaxBytes = std::int64_t(1) << 30;
// glibc's default count of mapped blocks, and its thresholds once they have
// adapted to a program that frees large blocks: blocks from 32 MiB are
// mapped, and the heap is trimmed once 64 MiB at its top are free.
constexpr int kDefaultMmapMax = 65536;
constexpr int kAdaptedMmapThreshold = 32 << 20;
constexpr int kAdaptedTrimThreshold = 64 << 20;

bool g_prepared = false;

void faultIn(char* block, std::size_t bytes)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    if (end <= first)
        return;
    // The kernel populates the range without this thread touching every page;
    // before Linux 5.14 it refuses the advice, and the pages are touched instead.
    if (::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE) == 0)
        return;
    for (std::uintptr_t p = first; p < end; p += page)
        *reinterpret_cast<volatile char*>(p) = 0;
}

} // namespace

void Prepare(std::int64_t fileBytes)
{
    if (g_prepared || fileBytes < kMinFileBytes)
        return;
    const std::int64_t bytes = std::min(fileBytes / kFileBytesPerObject * kTreeBytesPerObject, kMaxBytes);
    // Every block from the heap, even those glibc would map on their own
    // (it maps anything above 32 MiB), and no heap given back on a free.
    if (::mallopt(M_MMAP_MAX, 0) == 0)
        return;
    g_prepared = true;
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kMaxBytes));
    // Freed at once: the faulted-in pages stay at the top of the heap, where
    // the next large blocks are carved from.
    char* block = static_cast<char*>(std::malloc(static_cast<std::size_t>(bytes)));
    if (!block)
        return;
    faultIn(block, static_cast<std::size_t>(bytes));
    std::free(block);
}

void Finish()
{
    if (!g_prepared)
        return;
    g_prepared = false;
    ::mallopt(M_MMAP_MAX, kDefaultMmapMax);
    ::mallopt(M_MMAP_THRESHOLD, kAdaptedMmapThreshold);
    ::mallopt(M_TRIM_THRESHOLD, kAdaptedTrimThreshold);
    ::malloc_trim(0);
}

} // namespace HeapWarmUp

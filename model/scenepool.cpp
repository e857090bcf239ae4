#include "model/scenepool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define SCENE_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SCENE_POOL_ASAN 1
#endif
#endif

#ifdef SCENE_POOL_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace ScenePool {
namespace {

constexpr std::size_t kBlockSize = std::size_t(2) << 20; // one huge page
constexpr std::size_t kAlign = 16;
constexpr std::size_t kHeaderSize = 64;
// More than a block can ever hand out, plus the carving thread's own hold.
constexpr std::size_t kCredit = kBlockSize / kAlign + 1;

// Blocks whose allocations are all gone, kept for the next load so that it
// does not fault in and clear fresh pages again (closing and opening a scene
// again, each iteration of a benchmark). The pool's thread gives a block
// that has been kept for its lifetime back to the kernel; beyond the cap
// they go back at once.
constexpr std::size_t kMaxKeptBlocks = 256;
using Clock = std::chrono::steady_clock;

struct Kept {
    char* block;
    Clock::time_point since;
};

std::atomic<std::size_t> g_blocksInUse{0};
std::atomic<Clock::rep> g_keptLifetime{std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(10)).count()};
std::mutex g_keptMutex;
// Oldest first.
std::vector<Kept>& keptBlocks()
{
    // Never destroyed: it outlives every static object that may free into it.
    // Reserved whole, so that keeping a block never allocates.
    static auto* kept = [] {
        auto* blocks = new std::vector<Kept>;
        blocks->reserve(kMaxKeptBlocks);
        return blocks;
    }();
    return *kept;
}

char* reuseBlock()
{
    const std::lock_guard<std::mutex> lock(g_keptMutex);
    std::vector<Kept>& kept = keptBlocks();
    if (kept.empty())
        return nullptr;
    char* block = kept.back().block;
    kept.pop_back();
    return block;
}

// Without applying any pending frees: callers may hold the pool's locks.
std::size_t keptCount()
{
    const std::lock_guard<std::mutex> lock(g_keptMutex);
    return keptBlocks().size();
}

bool keepBlock(char* block)
{
    const std::lock_guard<std::mutex> lock(g_keptMutex);
    std::vector<Kept>& kept = keptBlocks();
    if (kept.size() >= kMaxKeptBlocks)
        return false;
    kept.push_back({block, Clock::now()});
    return true;
}

void unmapBlock(char* block)
{
#ifdef SCENE_POOL_ASAN
    ASAN_UNPOISON_MEMORY_REGION(block, kBlockSize);
#endif
    ::munmap(block, kBlockSize);
}

// Unmaps the kept blocks whose lifetime is over; returns when the next one's
// will be, if any is kept.
std::optional<Clock::time_point> releaseExpiredBlocks()
{
    std::vector<char*> expired;
    std::optional<Clock::time_point> next;
    {
        const std::lock_guard<std::mutex> lock(g_keptMutex);
        std::vector<Kept>& kept = keptBlocks();
        const Clock::duration lifetime(g_keptLifetime.load(std::memory_order_relaxed));
        const Clock::time_point now = Clock::now();
        auto end = kept.begin();
        while (end != kept.end() && end->since + lifetime <= now)
            expired.push_back((end++)->block);
        kept.erase(kept.begin(), end);
        if (!kept.empty())
            next = kept.front().since + lifetime;
    }
    for (char* block : expired)
        unmapBlock(block);
    return next;
}

// At the start of every block. `refs` counts live allocations, plus, while a
// thread carves from the block, the credit of the allocations still to come.
struct BlockHeader {
    std::atomic<std::size_t> refs;
};
static_assert(sizeof(BlockHeader) <= kHeaderSize);

BlockHeader* headerOf(void* pointer)
{
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<std::uintptr_t>(pointer) & ~(kBlockSize - 1));
}

// Address space for fresh blocks, mapped kChunkBlocks blocks at a time:
// every mapping change waits for the faults being served in the process,
// so one mapping for many blocks keeps a load from queueing behind the
// preparer below. Untouched blocks of a chunk cost no memory.
constexpr std::size_t kChunkBlocks = 32;
std::mutex g_chunkMutex;
char* g_chunkNext = nullptr;
char* g_chunkEnd = nullptr;

// A chunk aligned to the block size: map one block more, then give the
// unaligned ends back.
void mapChunk()
{
    constexpr std::size_t kChunkSize = kChunkBlocks * kBlockSize;
    void* mapped = ::mmap(nullptr, kChunkSize + kBlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    char* start = static_cast<char*>(mapped);
    char* chunk = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kBlockSize - 1) & ~(kBlockSize - 1));
    if (chunk > start)
        ::munmap(start, static_cast<std::size_t>(chunk - start));
    char* end = start + kChunkSize + kBlockSize;
    if (end > chunk + kChunkSize)
        ::munmap(chunk + kChunkSize, static_cast<std::size_t>(end - (chunk + kChunkSize)));
    // Advice only: without transparent huge pages the blocks still work on small pages.
    ::madvise(chunk, kChunkSize, MADV_HUGEPAGE);
    g_chunkNext = chunk;
    g_chunkEnd = chunk + kChunkSize;
}

// A block aligned to its size: a kept one, else the next of the chunk.
char* mapBlock()
{
    char* block = reuseBlock();
    if (!block) {
        const std::lock_guard<std::mutex> lock(g_chunkMutex);
        if (g_chunkNext == g_chunkEnd)
            mapChunk();
        block = g_chunkNext;
        g_chunkNext += kBlockSize;
#ifdef SCENE_POOL_ASAN
        ASAN_POISON_MEMORY_REGION(block + kHeaderSize, kBlockSize - kHeaderSize);
#endif
    }
#ifdef SCENE_POOL_ASAN
    // Objects here may point at heap memory: the leak checker must see those pointers.
    __lsan_register_root_region(block, kBlockSize);
#endif
    return block;
}

// The pool's own thread: faults blocks in ahead of the carvers, and gives
// kept blocks back to the kernel once their lifetime is over.
//
// A fresh block costs its page faults and the kernel's clearing of 2 MiB,
// which on a cold process is most of the time a big load takes. While a
// carver keeps asking for blocks in quick succession (a load, not an edit
// now and then), this thread maps and populates up to kMaxAhead blocks
// ahead of it, so the clearing runs on the other core beside the parsing.
// A carver never waits for it: with nothing ready it maps a block itself.
// Blocks prepared but not taken stay ready for the next start. The thread
// starts with the first streak or the first kept block and lives as long as
// the process.
class Housekeeper {
public:
    static Housekeeper& instance()
    {
        // Never destroyed: its thread may still be waiting at exit.
        static auto* housekeeper = new Housekeeper;
        return *housekeeper;
    }

    // A block was kept, or the lifetime changed: the next release may be due sooner.
    void blockKept() noexcept
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_keptChanged = true;
        if (!m_running)
            m_running = startThread();
        m_wake.notify_one();
    }

    // A ready block, or null; either way counts this start towards a streak.
    char* take()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        m_streak = now - m_lastTake < kStreakGap ? m_streak + 1 : 0;
        m_lastTake = now;
        // Kept blocks are faulted in already: the carver takes those itself.
        m_wanted = keptCount() > 0 ? 0 : std::min(m_streak, kMaxAhead);
        char* block = nullptr;
        if (!m_ready.empty()) {
            block = m_ready.back();
            m_ready.pop_back();
        }
        if (m_ready.size() < m_wanted) {
            if (!m_running)
                m_running = startThread();
            m_wake.notify_one();
        }
        return block;
    }

private:
    static constexpr std::size_t kMaxAhead = 2;
    static constexpr auto kStreakGap = std::chrono::milliseconds(20);

    Housekeeper() { m_ready.reserve(kMaxAhead); }

    bool startThread() noexcept
    {
        try {
            std::thread([this] { run(); }).detach();
            return true;
        } catch (...) {
            return false;
        }
    }

    // Maps and populates one block; called and returns with `lock` held.
    void prepare(std::unique_lock<std::mutex>& lock)
    {
        lock.unlock();
        char* block = nullptr;
        try {
            block = mapBlock();
            // Advice only: on a kernel without it the carver faults the pages in itself.
            ::madvise(block, kBlockSize, MADV_POPULATE_WRITE);
        } catch (const std::bad_alloc&) {
        }
        lock.lock();
        // Only this thread adds blocks, and only below m_wanted: there is room.
        if (block)
            m_ready.push_back(block);
        else
            m_wanted = 0;
    }

    void run()
    {
        const auto due = [this] { return m_keptChanged || m_ready.size() < m_wanted; };
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (m_ready.size() < m_wanted) {
                prepare(lock);
                continue;
            }
            m_keptChanged = false;
            lock.unlock();
            const std::optional<Clock::time_point> next = releaseExpiredBlocks();
            lock.lock();
            if (next)
                m_wake.wait_until(lock, *next, due);
            else
                m_wake.wait(lock, due);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<char*> m_ready;
    std::size_t m_wanted = 0;
    std::size_t m_streak = 0;
    std::chrono::steady_clock::time_point m_lastTake;
    bool m_running = false;
    bool m_keptChanged = false;
};

void giveUp(BlockHeader* header)
{
    char* block = reinterpret_cast<char*>(header);
    g_blocksInUse.fetch_sub(1, std::memory_order_relaxed);
#ifdef SCENE_POOL_ASAN
    __lsan_unregister_root_region(block, kBlockSize);
    ASAN_POISON_MEMORY_REGION(block + kHeaderSize, kBlockSize - kHeaderSize);
#endif
    if (keepBlock(block))
        Housekeeper::instance().blockKept();
    else
        unmapBlock(block);
}

// Drops `count` references to the block; the last one gives the block up.
void release(BlockHeader* header, std::size_t count) noexcept
{
    if (header->refs.fetch_sub(count, std::memory_order_acq_rel) == count)
        giveUp(header);
}

// The block one thread carves from.
class Carver {
public:
    Carver() = default;
    Carver(const Carver&) = delete;
    Carver& operator=(const Carver&) = delete;
    ~Carver() { retire(); }

    void* allocate(std::size_t bytes)
    {
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (static_cast<std::size_t>(m_end - m_next) < bytes)
            start();
        void* pointer = m_next;
        m_next += bytes;
        ++m_handedOut;
#ifdef SCENE_POOL_ASAN
        ASAN_UNPOISON_MEMORY_REGION(pointer, bytes);
#endif
        return pointer;
    }

private:
    void start()
    {
        char* block = Housekeeper::instance().take();
        if (!block)
            block = mapBlock();
        g_blocksInUse.fetch_add(1, std::memory_order_relaxed);
        retire();
        m_header = new (block) BlockHeader{kCredit};
        m_next = block + kHeaderSize;
        m_end = block + kBlockSize;
        m_handedOut = 0;
    }

    // Gives back the credit not used: from then on the block lives only as
    // long as its allocations.
    void retire() noexcept
    {
        if (m_header)
            release(m_header, kCredit - m_handedOut);
        m_header = nullptr;
        m_next = m_end = nullptr;
    }

    BlockHeader* m_header = nullptr;
    char* m_next = nullptr;
    char* m_end = nullptr;
    std::size_t m_handedOut = 0;
};

thread_local Carver t_carver;

// One thread's frees into the block it last freed into, applied to the
// block's count in one step once a free lands in another block (or the
// thread ends, or asks for the counts). A scene is freed in list order,
// block after block, so closing a million objects costs an atomic
// operation per block instead of two per object. Until then the block
// counts those frees as live: it is only ever given up later, never early.
class PendingFrees {
public:
    PendingFrees() = default;
    PendingFrees(const PendingFrees&) = delete;
    PendingFrees& operator=(const PendingFrees&) = delete;
    ~PendingFrees() { flush(); }

    void add(BlockHeader* header) noexcept
    {
        if (header != m_header) {
            flush();
            m_header = header;
        }
        ++m_count;
    }

    void flush() noexcept
    {
        if (m_header)
            release(m_header, m_count);
        m_header = nullptr;
        m_count = 0;
    }

private:
    BlockHeader* m_header = nullptr;
    std::size_t m_count = 0;
};

thread_local PendingFrees t_pendingFrees;

} // namespace

void* allocate(std::size_t bytes)
{
    if (bytes > kMaxSize)
        throw std::bad_alloc();
    return t_carver.allocate(bytes == 0 ? 1 : bytes);
}

void deallocate(void* pointer, [[maybe_unused]] std::size_t bytes) noexcept
{
    if (!pointer)
        return;
#ifdef SCENE_POOL_ASAN
    ASAN_POISON_MEMORY_REGION(pointer, bytes);
#endif
    t_pendingFrees.add(headerOf(pointer));
}

std::size_t blocksInUse()
{
    t_pendingFrees.flush();
    return g_blocksInUse.load(std::memory_order_relaxed);
}

std::size_t blocksKept()
{
    t_pendingFrees.flush();
    return keptCount();
}

void setKeptBlockLifetime(std::chrono::milliseconds lifetime)
{
    g_keptLifetime.store(std::chrono::duration_cast<Clock::duration>(lifetime).count(), std::memory_order_relaxed);
    Housekeeper::instance().blockKept();
}

} // namespace ScenePool

#include "framework/core/arena.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <new>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define TESK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESK_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef TESK_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace fw::Arena {
namespace {

// Under AddressSanitizer: slots not handed out are poisoned, so that a use
// after free is caught, and the blocks are roots where the leak checker
// looks for pointers into the heap. Elsewhere these do nothing.
#ifdef TESK_ADDRESS_SANITIZER
void poison(const void* bytes, std::size_t size) { ASAN_POISON_MEMORY_REGION(bytes, size); }
void unpoison(const void* bytes, std::size_t size) { ASAN_UNPOISON_MEMORY_REGION(bytes, size); }
void addRootRegion(const void* bytes, std::size_t size) { __lsan_register_root_region(bytes, size); }
void removeRootRegion(const void* bytes, std::size_t size) { __lsan_unregister_root_region(bytes, size); }
#else
void poison(const void*, std::size_t) {}
void unpoison(const void*, std::size_t) {}
void addRootRegion(const void*, std::size_t) {}
void removeRootRegion(const void*, std::size_t) {}
#endif

constexpr std::size_t kAlign = 16;
constexpr std::size_t kClasses = kMaxSize / kAlign;
// Slots a thread takes, and frees it gives back, under the lock at a time.
constexpr std::size_t kBatch = 256;
constexpr std::size_t kChunkBlocks = 32;

// A free slot: the link to the next one lies in its first bytes.
struct Slot {
    Slot* next;
};

// At the start of every block; guarded by the arena's lock.
struct Block {
    Block* prev;       // in its size's list of blocks with room
    Block* next;
    Slot* freed;       // freed slots, for reuse
    char* unused;      // the slots never handed out start here
    std::size_t used;  // slots handed out to threads and not given back
    std::size_t slotSize;
    bool listed;       // in its size's list
};
constexpr std::size_t kHeaderSize = (sizeof(Block) + kAlign - 1) & ~(kAlign - 1);

Block* blockOf(void* slot)
{
    return reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(slot) & ~(kBlockSize - 1));
}

// The link of a free slot, read and written past the sanitizer's poison.
Slot* nextOf(Slot* slot)
{
    unpoison(slot, sizeof(Slot));
    Slot* next = slot->next;
    poison(slot, sizeof(Slot));
    return next;
}

void link(Slot* slot, Slot* next)
{
    unpoison(slot, sizeof(Slot));
    slot->next = next;
    poison(slot, sizeof(Slot));
}

// Every block and list; never destroyed, so that threads that end after
// main() can still give their slots back.
class Arena {
public:
    static Arena& instance()
    {
        static auto* arena = new Arena;
        return *arena;
    }

    // Up to kBatch slots of class `sizeClass`, linked, for a thread that has
    // none left: the freed ones of a block with room, else never used ones
    // in address order.
    Slot* take(std::size_t sizeClass)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const std::size_t slotSize = (sizeClass + 1) * kAlign;
        Block* block = m_withRoom[sizeClass];
        if (!block)
            block = mapBlock(slotSize);
        Slot* chain = block->freed;
        std::size_t count = 0;
        char* const end = reinterpret_cast<char*>(block) + kBlockSize;
        if (chain) {
            Slot* last = chain;
            for (count = 1; count < kBatch && nextOf(last); ++count)
                last = nextOf(last);
            block->freed = nextOf(last);
            link(last, nullptr);
        } else {
            count = std::min(static_cast<std::size_t>(end - block->unused) / slotSize, kBatch);
            for (std::size_t i = count; i-- > 0;) {
                auto* slot = reinterpret_cast<Slot*>(block->unused + i * slotSize);
                link(slot, chain);
                chain = slot;
            }
            block->unused += count * slotSize;
        }
        block->used += count;
        // A block with neither freed nor unused slots leaves the list.
        if (!block->freed && static_cast<std::size_t>(end - block->unused) < slotSize)
            unlist(block);
        return chain;
    }

    // Gives back `count` slots; a block none of whose slots is in use is retired.
    void give(void* const* slots, std::size_t count) noexcept
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < count; ++i) {
            Block* block = blockOf(slots[i]);
            auto* slot = static_cast<Slot*>(slots[i]);
            link(slot, block->freed);
            block->freed = slot;
            if (--block->used == 0) {
                retire(block);
                continue;
            }
            if (!block->listed)
                list(block);
        }
    }

    std::size_t blocks()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_blocks;
    }

private:
    std::size_t classOf(const Block* block) const { return block->slotSize / kAlign - 1; }

    void list(Block* block)
    {
        Block*& head = m_withRoom[classOf(block)];
        block->prev = nullptr;
        block->next = head;
        if (head)
            head->prev = block;
        head = block;
        block->listed = true;
    }

    void unlist(Block* block)
    {
        if (block->prev)
            block->prev->next = block->next;
        else
            m_withRoom[classOf(block)] = block->next;
        if (block->next)
            block->next->prev = block->prev;
        block->listed = false;
    }

    // A fresh block, the next of the current chunk. Chunks of kChunkBlocks
    // blocks are mapped and advised at once: every change of the mappings
    // waits for the page faults being served in the process (another thread
    // starting up, say), so one per chunk rather than per block. Untouched
    // blocks of a chunk cost no memory.
    Block* mapBlock(std::size_t slotSize)
    {
        if (m_chunkNext == m_chunkEnd)
            mapChunk();
        char* start = m_chunkNext;
        m_chunkNext += kBlockSize;
        poison(start + kHeaderSize, kBlockSize - kHeaderSize);
        // Objects here may point at heap memory: the leak checker must see those pointers.
        addRootRegion(start, kBlockSize);
        auto* block = new (start) Block{nullptr, nullptr, nullptr, start + kHeaderSize, 0, slotSize, false};
        list(block);
        ++m_blocks;
        return block;
    }

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
        if (start + kBlockSize > chunk)
            ::munmap(chunk + kChunkSize, static_cast<std::size_t>(start + kBlockSize - chunk));
        // Advice only: without transparent huge pages the blocks still work on small pages.
        ::madvise(chunk, kChunkSize, MADV_HUGEPAGE);
        m_chunkNext = chunk;
        m_chunkEnd = chunk + kChunkSize;
    }

    // A block none of whose slots is in use goes back to the kernel.
    void retire(Block* block) noexcept
    {
        if (block->listed)
            unlist(block);
        --m_blocks;
        removeRootRegion(block, kBlockSize);
        unpoison(block, kBlockSize);
        ::munmap(block, kBlockSize);
    }

    std::mutex m_mutex;
    std::array<Block*, kClasses> m_withRoom{};
    std::size_t m_blocks = 0;
    char* m_chunkNext = nullptr;
    char* m_chunkEnd = nullptr;
};

// One thread's free slots per size class, and its frees not yet given back.
class ThreadSlots {
public:
    ~ThreadSlots() { giveBack(); }

    void* allocate(std::size_t bytes)
    {
        const std::size_t sizeClass = (bytes - 1) / kAlign;
        Slot*& chain = m_chains[sizeClass];
        if (!chain)
            chain = Arena::instance().take(sizeClass);
        Slot* slot = chain;
        chain = nextOf(slot);
        unpoison(slot, bytes);
        return slot;
    }

    void deallocate(void* pointer, std::size_t bytes) noexcept
    {
        poison(pointer, bytes);
        keep(pointer);
    }

    // Every slot this thread holds goes back to the arena.
    void giveBack() noexcept
    {
        for (Slot*& chain : m_chains) {
            while (Slot* slot = chain) {
                chain = nextOf(slot);
                keep(slot);
            }
        }
        flushFreed();
    }

private:
    void keep(void* slot) noexcept
    {
        m_freed[m_freedCount++] = slot;
        if (m_freedCount == kBatch)
            flushFreed();
    }

    void flushFreed() noexcept
    {
        if (m_freedCount > 0)
            Arena::instance().give(m_freed.data(), m_freedCount);
        m_freedCount = 0;
    }

    std::array<Slot*, kClasses> m_chains{};
    std::array<void*, kBatch> m_freed{};
    std::size_t m_freedCount = 0;
};

thread_local ThreadSlots t_slots;

} // namespace

void* allocate(std::size_t bytes)
{
    if (bytes > kMaxSize)
        throw std::bad_alloc();
    return t_slots.allocate(bytes == 0 ? 1 : bytes);
}

void deallocate(void* pointer, std::size_t bytes) noexcept
{
    if (pointer)
        t_slots.deallocate(pointer, bytes == 0 ? 1 : bytes);
}

std::size_t blocksInUse()
{
    t_slots.giveBack();
    return Arena::instance().blocks();
}

} // namespace fw::Arena

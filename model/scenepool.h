#pragma once

#include <chrono>
#include <cstddef>

// The storage of scene objects and their shapes: C3dObject and C3dShape take
// their memory here through their class operator new and delete.
//
// A scene of a million objects is two million small allocations. From malloc
// they are two million chunks on fresh 4 KiB pages, and a cold load spends
// most of its time in the allocator and in page faults; freeing them one by
// one at close costs as much again. Here storage comes in aligned 2 MiB
// blocks mapped straight from the kernel and marked for transparent huge
// pages, so a load costs a few hundred page faults.
//
// Each thread carves its allocations off a block of its own, one after the
// other, without locking (an object and its shape end up side by side).
// While threads take new blocks in quick succession, as a load does, a
// thread of the pool's own faults the next few blocks in ahead of them, so
// that the kernel clears those pages on the other core.
// Freeing only counts the block's live allocations down, a thread's frees
// into one block at a time in one step; a block is given up once its last
// allocation is freed (and that count applied) and no thread carves from it
// any more. Given-up blocks, up to 512 MiB of them, are kept for reuse for a
// while (10 s unless set otherwise), then the pool's thread gives them back
// to the kernel; those beyond the cap go back at once.
// A freed slot is not reused on its own: a block that keeps a survivor keeps
// its memory until that one is freed too.
//
// Sizes up to kMaxSize bytes; larger requests throw std::bad_alloc, as does
// a failed mapping.
namespace ScenePool {

inline constexpr std::size_t kMaxSize = 4096;

void* allocate(std::size_t bytes);
// `bytes` as given to allocate.
void deallocate(void* pointer, std::size_t bytes) noexcept;

// Blocks that hold live allocations or that a thread carves from, and
// emptied blocks kept for reuse; both first apply the calling thread's frees.
std::size_t blocksInUse();
std::size_t blocksKept();
// How long an emptied block is kept for reuse before it goes back to the kernel.
void setKeptBlockLifetime(std::chrono::milliseconds lifetime);

} // namespace ScenePool

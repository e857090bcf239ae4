#pragma once

#include <cstddef>

// The storage of scene objects and their shapes: C3dObject and C3dShape take
// their memory here through their class operator new and delete.
//
// An arena of 2 MiB blocks mapped straight from the kernel and advised for
// transparent huge pages, so that a scene of a million objects (two million
// small allocations) costs a few hundred page faults rather than one per
// 4 KiB. Each block holds slots of one size, rounded up to 16 bytes. Freed
// slots are reused by later allocations of their size. A block none of whose
// slots is in use goes back to the kernel.
//
// While a load takes fresh blocks in quick succession, a thread of the pool's
// own faults the next ones in, so that the kernel clears them on another core.
//
// Any thread may allocate and free. A thread takes slots and gives freed
// ones back in batches, under one lock for the whole pool; between batches
// it works alone. So a thread holds on to a batch of free slots per size it
// allocated, and its latest frees; both go back when the thread ends or
// asks for blocksInUse.
//
// Sizes up to kMaxSize bytes; larger requests throw std::bad_alloc, as does
// a failed mapping.
namespace ScenePool {

inline constexpr std::size_t kMaxSize = 4096;

void* allocate(std::size_t bytes);
// `bytes` as given to allocate.
void deallocate(void* pointer, std::size_t bytes) noexcept;

// Blocks with slots in use, after the calling thread has given back its slots.
std::size_t blocksInUse();
inline constexpr std::size_t kBlockSize = std::size_t(2) << 20;

} // namespace ScenePool

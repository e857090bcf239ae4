#pragma once

#include <cstddef>

// Storage for many small objects of a few classes, which take their memory
// here through their class operator new and delete (the scene's objects and
// shapes do).
//
// An arena of 2 MiB blocks mapped straight from the kernel and advised for
// transparent huge pages, so that a million objects (two million small
// allocations) cost a few hundred page faults rather than one per 4 KiB. Each block holds slots of one size, rounded up to 16 bytes. Freed
// slots are reused by later allocations of their size. A block none of whose
// slots is in use goes back to the kernel.
//
// Any thread may allocate and free. A thread takes slots and gives freed
// ones back in batches, under one lock for the whole arena; between batches
// it works alone. So a thread holds on to a batch of free slots per size it
// allocated, and its latest frees; both go back when the thread ends or
// asks for blocksInUse.
//
// Sizes up to kMaxSize bytes; larger requests throw std::bad_alloc, as does
// a failed mapping.
namespace fw::Arena {

inline constexpr std::size_t kMaxSize = 4096;

void* allocate(std::size_t bytes);
// `bytes` as given to allocate.
void deallocate(void* pointer, std::size_t bytes) noexcept;

// Blocks with slots in use, after the calling thread has given back its slots.
std::size_t blocksInUse();
inline constexpr std::size_t kBlockSize = std::size_t(2) << 20;

} // namespace fw::Arena

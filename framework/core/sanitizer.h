#pragma once

#include <cstddef>

// Whether this build runs under AddressSanitizer (the test builds, made with
// TESK_SANITIZE, or any other compiler flag that turns it on), and the calls
// by which code that hands out memory of its own tells the sanitizer which
// bytes are live and where pointers to the heap may lie. Outside such builds
// the calls do nothing. The one place that answers the question.
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

namespace fw::sanitizer {

#ifdef TESK_ADDRESS_SANITIZER
inline constexpr bool kAddress = true;
#else
inline constexpr bool kAddress = false;
#endif

// Bytes that nothing may read or write until they are unpoisoned.
inline void poison([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TESK_ADDRESS_SANITIZER
    ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
}

inline void unpoison([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TESK_ADDRESS_SANITIZER
    ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
}

// Memory outside the heap that may hold pointers into it: the leak checker
// looks for them there.
inline void addRootRegion([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TESK_ADDRESS_SANITIZER
    __lsan_register_root_region(bytes, size);
#endif
}

inline void removeRootRegion([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TESK_ADDRESS_SANITIZER
    __lsan_unregister_root_region(bytes, size);
#endif
}

} // namespace fw::sanitizer

#pragma once

// The environment that the launcher (launcher.cpp) hands the editor: glibc's
// allocator is asked for transparent huge pages for the heap and its large
// blocks (kTunable=1 added to GLIBC_TUNABLES, which glibc reads only as a
// process starts), and the user's own GLIBC_TUNABLES entry travels in kSaved
// so that the editor can put it back (hugepageheap.cpp) before anything it
// starts inherits the tunable.
namespace hugepageheap {

inline constexpr char kTunables[] = "GLIBC_TUNABLES=";
inline constexpr char kTunable[] = "glibc.malloc.hugetlb";
// "kSaved" followed by the user's whole GLIBC_TUNABLES entry, if they had one.
inline constexpr char kSaved[] = "TESK_USER_GLIBC_TUNABLES=";

} // namespace hugepageheap

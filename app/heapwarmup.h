#pragma once

#include <cstdint>

// Start-up with a big scene named on the command line: the GUI thread waits
// idle while the scene is read, and as soon as it is read, the scene's window
// builds lists of tens of megabytes (the tree's layout keeps a row record per
// object). Fresh from the kernel, those pages cost their faults and clearing
// after the read, in front of the first frame; on a virtual machine that
// hands freed memory back to its host, several times as much.
//
// CTeskApp calls Prepare while it waits for the read: it lets glibc serve
// large blocks from the heap and faults in as much heap as the scene's
// lists are expected to take. Finish, called once the main window has been
// shown, has large blocks mapped again, at the thresholds that glibc adapts
// its own to in a program that frees large blocks, and gives the part not
// taken back to the kernel. Both run on the GUI thread; Finish without
// Prepare does nothing.
namespace HeapWarmUp {

// Files smaller than this open fast enough without it.
inline constexpr std::int64_t kMinFileBytes = std::int64_t(8) << 20;

// For a scene file of `fileBytes` bytes; does nothing below kMinFileBytes.
void Prepare(std::int64_t fileBytes);
void Finish();

} // namespace HeapWarmUp

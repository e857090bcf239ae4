#pragma once

#include <optional>

namespace fw {

// The state of the three lock keys as the windowing system reports it.
struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Asks the windowing system for the lock keys' state. Empty where it cannot
// tell: platforms other than X11, or an X server without the keyboard
// extension's named indicators.
std::optional<LockKeys> queryLockKeys();

} // namespace fw

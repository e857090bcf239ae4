#include "framework/gui/lockkeys.h"

#include <QGuiApplication>

#if TESK_HAVE_X11
// Xlib's macros (None, Bool, Status, ...) clash with Qt: included last.
#include <X11/XKBlib.h>
#endif

namespace fw {

std::optional<LockKeys> queryLockKeys()
{
#if TESK_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    // Indicators are found by name: their bit positions differ between keymaps.
    const auto lit = [display](const char* name, bool& on) {
        const Atom atom = XInternAtom(display, name, False);
        Bool state = False;
        if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
            return false;
        on = state != False;
        return true;
    };
    LockKeys keys;
    const bool caps = lit("Caps Lock", keys.caps);
    const bool num = lit("Num Lock", keys.num);
    const bool scroll = lit("Scroll Lock", keys.scroll);
    if (!caps && !num && !scroll)
        return std::nullopt;
    return keys;
#else
    return std::nullopt;
#endif
}

} // namespace fw

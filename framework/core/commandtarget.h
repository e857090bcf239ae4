#pragma once

#include <span>

namespace fw {

// State of one command, filled by a state handler before a menu opens or
// while the toolbar idles. A command whose handler has no state handler is
// enabled; one that nobody handles is disabled (the router decides that).
struct CmdUI {
    enum class Mark { None, Check, Radio };

    int id = 0;
    bool enabled = true;
    Mark mark = Mark::None;
    bool marked = false;

    void Enable(bool on = true) { enabled = on; }
    void SetCheck(bool on) { mark = Mark::Check; marked = on; }
    void SetRadio(bool on) { mark = Mark::Radio; marked = on; }
};

// Something on the command route: a view, a document, a frame or the
// application. OnCmdMsg answers whether this target handles `id` (by
// default it handles none); with a null `ui` it runs the command, otherwise
// it fills the command's state.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual bool OnCmdMsg(int, CmdUI*) { return false; }
};

// One row of a class's message map: a range of command ids, the handler and
// an optional state handler. Handlers that need the id take it as argument.
template <typename T>
struct MessageMapEntry {
    int first;
    int last;
    void (T::*handler)(int id);
    void (T::*update)(CmdUI& ui);
};

// Looks `id` up in `map` and runs the handler or state handler on `target`.
template <typename T>
bool dispatchMessageMap(T* target, std::span<const MessageMapEntry<T>> map, int id, CmdUI* ui)
{
    for (const MessageMapEntry<T>& entry : map) {
        if (id < entry.first || id > entry.last)
            continue;
        if (!ui)
            (target->*entry.handler)(id);
        else if (entry.update)
            (target->*entry.update)(*ui);
        return true;
    }
    return false;
}

} // namespace fw

// Puts back the GLIBC_TUNABLES that the user had, when the launcher added
// the huge-page tunable for this process (see hugepageheap.h), so that the
// programs the editor starts do not inherit it.
//
// Runs from the executable's pre-initialisers, before the C library has set
// up its own view of the environment (getenv and setenv do not work yet), so
// it edits the environment array that the library then takes over. Linked
// into each program as an object of its own: nothing calls it.

#include "app/hugepageheap.h"

#include <cstring>

namespace {

// The environment entry that starts with `key`, or null.
char** find(char** envp, const char* key)
{
    for (char** entry = envp; *entry; ++entry)
        if (std::strncmp(*entry, key, std::strlen(key)) == 0)
            return entry;
    return nullptr;
}

void remove(char** entry)
{
    for (; *entry; ++entry)
        entry[0] = entry[1];
}

void restoreUserTunables(int, char**, char** envp)
{
    using namespace hugepageheap;
    char** saved = find(envp, kSaved);
    if (!saved)
        return;
    const char* user = *saved + std::strlen(kSaved);
    if (char** tunables = find(envp, kTunables)) {
        if (*user)
            *tunables = const_cast<char*>(user);
        else
            remove(tunables);
    }
    remove(find(envp, kSaved));
}

[[gnu::section(".preinit_array"), gnu::used]] void (*const g_preinit)(int, char**, char**) = restoreUserTunables;

} // namespace

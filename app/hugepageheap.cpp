// Has glibc's allocator ask for transparent huge pages for the heap and its
// large blocks (the tunable glibc.malloc.hugetlb=1) when the command line
// names a big file. Opening a big scene builds lists of a million rows in
// Qt's views; on 4 KiB pages their page faults cost more than the rest of
// the first paint.
//
// glibc reads its tunables from the environment only as a process starts,
// so the program executes itself again (/proc/self/exe, the same arguments)
// with the tunable added, and the second start restores GLIBC_TUNABLES to
// what the user had, so that programs started from the editor do not
// inherit it. This runs from the executable's pre-initialisers, before any
// library's initialisers, yet loading the libraries twice still costs tens
// of milliseconds: hence only for a file of kBigFile bytes or more, where
// the gain is several times that. Nothing is done when the user's
// GLIBC_TUNABLES already names the tunable (their choice stands), when
// transparent huge pages are off, under valgrind or a sanitizer (whose
// allocators ignore the tunable), or when the exec fails (the program then
// runs on as it is).
//
// Linked into each program as an object of its own: nothing calls it.
// Before the libraries' initialisers only plain C library calls are safe.

#include <iterator>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HUGE_PAGE_HEAP_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define HUGE_PAGE_HEAP_OFF 1
#endif
#endif

#ifndef HUGE_PAGE_HEAP_OFF
namespace {

constexpr char kTunables[] = "GLIBC_TUNABLES=";
constexpr char kTunable[] = "glibc.malloc.hugetlb";
// Set for the second start only: the user's own GLIBC_TUNABLES entry, if any.
constexpr char kSaved[] = "TESK_USER_GLIBC_TUNABLES=";

constexpr off_t kBigFile = 8 << 20;

// Whether an argument names a regular file of kBigFile bytes or more
// (options and their values name none, or at worst cost a stat).
bool namesABigFile(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        struct stat status {};
        if (argv[i][0] != '-' && ::stat(argv[i], &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= kBigFile)
            return true;
    }
    return false;
}

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// The environment entry that starts with `key`, or null.
char** find(char** envp, const char* key)
{
    for (char** entry = envp; *entry; ++entry)
        if (startsWith(*entry, key))
            return entry;
    return nullptr;
}

void remove(char** entry)
{
    for (; *entry; ++entry)
        entry[0] = entry[1];
}

bool transparentHugePagesOff()
{
    char mode[128] = {};
    const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const ssize_t got = ::read(fd, mode, sizeof mode - 1);
    ::close(fd);
    return got <= 0 || std::strstr(mode, "[never]");
}

// Appends `text` at `*out`, within `end`.
bool append(char** out, char* end, const char* text)
{
    const std::size_t length = std::strlen(text);
    if (length >= std::size_t(end - *out))
        return false;
    std::memcpy(*out, text, length + 1);
    *out += length;
    return true;
}

// Runs before the C library has set up its own view of the environment
// (getenv and setenv do not work yet), so it edits and builds the
// environment arrays itself: the process's own, which the library then
// takes over, and the one the second start is executed with.
void useHugePagesForLargeAllocations(int argc, char** argv, char** envp)
{
    if (char** saved = find(envp, kSaved)) {
        char** tunables = find(envp, kTunables);
        const char* user = *saved + std::strlen(kSaved);
        if (tunables && *user)
            *tunables = const_cast<char*>(user);
        else if (tunables)
            remove(tunables);
        remove(find(envp, kSaved));
        return;
    }
    char** user = find(envp, kTunables);
    const char* preload = nullptr;
    if (char** entry = find(envp, "LD_PRELOAD="))
        preload = *entry;
    // Tunables are ignored for set-user-ID programs anyway.
    if ((user && std::strstr(*user, kTunable)) || (preload && std::strstr(preload, "vgpreload")) || ::getauxval(AT_SECURE)
        || !namesABigFile(argc, argv) || transparentHugePagesOff())
        return;

    static char savedEntry[4096];
    static char tunablesEntry[4096];
    static char* environment[4096];
    char* out = savedEntry;
    if (!append(&out, std::end(savedEntry), kSaved) || (user && !append(&out, std::end(savedEntry), *user)))
        return;
    out = tunablesEntry;
    if (!append(&out, std::end(tunablesEntry), kTunables)
        || (user && (!append(&out, std::end(tunablesEntry), *user + std::strlen(kTunables))
                     || !append(&out, std::end(tunablesEntry), ":")))
        || !append(&out, std::end(tunablesEntry), kTunable) || !append(&out, std::end(tunablesEntry), "=1"))
        return;
    std::size_t count = 0;
    for (char** entry = envp; *entry; ++entry) {
        if (count + 3 >= std::size(environment))
            return;
        if (entry != user)
            environment[count++] = *entry;
    }
    environment[count++] = savedEntry;
    environment[count++] = tunablesEntry;
    environment[count] = nullptr;
    ::execve("/proc/self/exe", argv, environment);
}

[[gnu::section(".preinit_array"), gnu::used]] void (*const g_preinit)(int, char**, char**) = useHugePagesForLargeAllocations;

} // namespace
#endif

// The program users start as `tesk` (and the start-up probe's front, built
// the same way): executes the editor, TESK_EDITOR beside this program or
// TESK_EDITOR_INSTALLED relative to it, with the same arguments, having
// asked glibc for transparent huge pages for the editor's heap and large
// blocks (see hugepageheap.h). Opening a big scene builds lists of a
// million rows in Qt's views; on 4 KiB pages their page faults cost more
// than the rest of the first paint. glibc reads the tunable only as a
// process starts, and a launcher without Qt costs a millisecond or two
// where the editor executing itself again would load its libraries twice.
//
// The environment is left as it is when the user's GLIBC_TUNABLES already
// names the tunable (their choice stands), when transparent huge pages are
// off, and in sanitizer builds (whose allocators ignore the tunable).

#include "app/hugepageheap.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LAUNCHER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define LAUNCHER_SANITIZED 1
#endif
#endif

namespace {

using namespace hugepageheap;

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

[[maybe_unused]] bool transparentHugePagesOff()
{
    char mode[128] = {};
    const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const ssize_t got = ::read(fd, mode, sizeof mode - 1);
    ::close(fd);
    return got <= 0 || std::strstr(mode, "[never]");
}

// The editor's path: beside this program (a build tree), else where an
// installation puts it; empty when neither is there.
std::string editorPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    std::string folder(self, std::size_t(length));
    folder.erase(folder.rfind('/') + 1);
    for (const std::string& candidate : {folder + TESK_EDITOR, folder + TESK_EDITOR_INSTALLED})
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return {};
}

bool wantHugePages([[maybe_unused]] const char* user)
{
#ifdef LAUNCHER_SANITIZED
    return false;
#else
    return !(user && std::strstr(user, kTunable)) && !transparentHugePagesOff();
#endif
}

// `envp`, with the huge-page tunable added and the user's entry saved where
// it is wanted. Added entries point into `storage`.
std::vector<char*> environmentFor(char** envp, std::vector<std::string>& storage)
{
    std::vector<char*> environment;
    char* user = nullptr;
    for (char** entry = envp; *entry; ++entry) {
        if (startsWith(*entry, kTunables))
            user = *entry;
        environment.push_back(*entry);
    }
    if (!wantHugePages(user))
        return environment;
    std::erase(environment, user);
    const std::string userValue = user ? std::string(user + std::strlen(kTunables)) : std::string();
    storage = {std::string(kSaved) + (user ? user : ""),
               std::string(kTunables) + userValue + (userValue.empty() ? "" : ":") + kTunable + "=1"};
    for (std::string& added : storage)
        environment.push_back(added.data());
    return environment;
}

} // namespace

int main(int, char* argv[], char* envp[])
{
    const std::string editor = editorPath();
    if (editor.empty()) {
        std::fprintf(stderr, "tesk: cannot find the editor program %s beside this one\n", TESK_EDITOR);
        return 127;
    }
    std::vector<std::string> storage;
    std::vector<char*> environment = environmentFor(envp, storage);
    environment.push_back(nullptr);
    ::execve(editor.c_str(), argv, environment.data());
    std::fprintf(stderr, "tesk: cannot start %s: %s\n", editor.c_str(), std::strerror(errno));
    return 127;
}

// Prints what a program started through the launcher sees: its environment,
// and whether it was executed with the huge-page tunable (the environment
// it was executed with, as glibc read it; glibc ends each tunable's value in
// place, so only the tunable itself is looked for).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

int main()
{
    std::ifstream file("/proc/self/environ", std::ios::binary);
    const std::string executedWith((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const bool given = executedWith.find("glibc.malloc.hugetlb=1") != std::string::npos;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* saved = std::getenv("TESK_USER_GLIBC_TUNABLES");
    std::printf("tunables=%s saved=%s hugetlb-given=%s\n", tunables ? tunables : "(unset)", saved ? saved : "(unset)",
                given ? "yes" : "no");
}

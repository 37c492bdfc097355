// Loaded with LD_PRELOAD into a program under test, this library makes the
// folders inside $TOLVANE_SLOW_DIR (not that folder itself) slow to read, as on a
// slow disk or a network share:
// each entry read from them takes $TOLVANE_SLOW_DIR_MS milliseconds, until the
// file $TOLVANE_SLOW_DIR_RELEASE exists. A test keeps a folder walk going with it
// for as long as it needs the program to be inside the walk, then lets it finish.

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool isSlow(DIR *dir)
{
    const char *root = std::getenv("TOLVANE_SLOW_DIR");
    const char *release = std::getenv("TOLVANE_SLOW_DIR_RELEASE");
    if (!root || !*root || !dir)
        return false;
    if (release && ::access(release, F_OK) == 0)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", ::dirfd(dir));
    char path[PATH_MAX];
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = '\0';
    const size_t rootLength = std::strlen(root);
    return std::strncmp(path, root, rootLength) == 0 && path[rootLength] == '/';
}

void delay()
{
    const char *ms = std::getenv("TOLVANE_SLOW_DIR_MS");
    const long millis = ms ? std::strtol(ms, nullptr, 10) : 0;
    if (millis <= 0)
        return;
    timespec wait{millis / 1000, (millis % 1000) * 1000000L};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

template <typename F> F next(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

struct dirent *readdir(DIR *dir)
{
    static const auto real = next<struct dirent *(*)(DIR *)>("readdir");
    const int saved = errno;
    if (isSlow(dir))
        delay();
    errno = saved;
    return real(dir);
}

struct dirent64 *readdir64(DIR *dir)
{
    static const auto real = next<struct dirent64 *(*)(DIR *)>("readdir64");
    const int saved = errno;
    if (isSlow(dir))
        delay();
    errno = saved;
    return real(dir);
}

} // extern "C"

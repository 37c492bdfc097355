// The command users bind to a key: it asks the running copy of Tolvane to show
// its window, at the cost of one message, without loading the GUI libraries the
// full program needs. When no copy runs it becomes the full program (exec, same
// arguments and environment). It speaks the single-instance protocol of
// platform/singleapplication*: the same identity, folder rules, message and peer
// check. Where anything is unclear it leaves the decision to the full program.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

// The full program's patience for each step of a delivery; here for all of them.
constexpr long timeoutMs = 5000;
// "/tolvane-<16 hex digits>.sock" after the folder, within a socket address.
constexpr size_t socketNameLength = 30;

uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

// SHA-1 (FIPS 180-4), as the identity needs it: a short text, once.
std::string sha1Hex(std::string data)
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const uint64_t bits = uint64_t(data.size()) * 8;
    data += char(0x80);
    while (data.size() % 64 != 56)
        data += char(0);
    for (int i = 7; i >= 0; --i)
        data += char(bits >> (i * 8));
    for (size_t block = 0; block < data.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const auto *p = reinterpret_cast<const unsigned char *>(data.data() + block + 4 * i);
            w[i] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        }
        for (int i = 16; i < 80; ++i)
            w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            const uint32_t f = i < 20              ? (b & c) | (~b & d)
                               : i < 40 || i >= 60 ? b ^ c ^ d
                                                   : (b & c) | (b & d) | (c & d);
            const uint32_t k = i < 20 ? 0x5A827999 : i < 40 ? 0x6ED9EBA1 : i < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
            const uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rotl(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    char hex[41];
    for (int i = 0; i < 5; ++i)
        std::snprintf(hex + 8 * i, 9, "%08x", unsigned(h[i]));
    return hex;
}

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string realPath(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : "";
}

// QDir::cleanPath for an absolute path: no ".", "..", doubled or trailing "/".
std::string cleanPath(const std::string &path)
{
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "..")
            out.erase(out.empty() ? 0 : out.rfind('/'));
        else if (!part.empty() && part != ".")
            out += '/' + part;
        start = end + 1;
    }
    return out.empty() ? "/" : out;
}

// The full program: <prefix>/lib/tolvane/tolvane when this is the installed
// <prefix>/bin/tolvane, else "tolvane" beside this one (a build tree); never itself.
std::string fullProgram()
{
    const std::string self = realPath("/proc/self/exe");
    const std::string dir = self.substr(0, self.rfind('/'));
    for (const std::string &candidate : {dir + "/../lib/tolvane/tolvane", dir + "/tolvane"}) {
        const std::string path = realPath(candidate);
        if (!path.empty() && path != self && ::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return "";
}

enum class Folder { Private, Missing, Unusable };

// A folder only this user can reach: a real folder, not a link, owned by the user,
// mode 0700; short enough for a socket address.
Folder checkFolder(const std::string &path)
{
    if (path.empty() || path[0] != '/' || path.size() + socketNameLength >= sizeof(sockaddr_un::sun_path))
        return Folder::Unusable;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Folder::Missing : Folder::Unusable;
    struct stat st = {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                    (st.st_mode & 07777) == 0700;
    ::close(fd);
    return ok ? Folder::Private : Folder::Unusable;
}

// The full program's folder for its socket, in its order: the session's runtime
// folder, then <tmp>/tolvane-<uid>, then <cache>/tolvane-<uid>-<host>. The full
// program makes a missing folder of its own, in which no copy can be listening
// yet: then (and when there is none at all) the answer is empty.
std::string runtimeFolder()
{
    const std::string user = std::to_string(::getuid());
    if (checkFolder(env("XDG_RUNTIME_DIR")) == Folder::Private)
        return env("XDG_RUNTIME_DIR");
    const std::string tmp = env("TMPDIR").empty() ? "/tmp" : env("TMPDIR");
    std::string cache = env("XDG_CACHE_HOME");
    if (cache.empty())
        cache = cleanPath(env("HOME").empty() ? "/" : env("HOME")) + "/.cache";
    utsname host = {};
    ::uname(&host);
    for (const std::string &folder :
         {realPath(cleanPath(tmp)) + "/tolvane-" + user, cache + "/tolvane-" + user + '-' + host.nodename}) {
        // A relative XDG_CACHE_HOME is taken differently by Qt's versions: the
        // full program decides.
        if (folder[0] != '/')
            return "";
        switch (checkFolder(folder)) {
        case Folder::Private:
            return folder;
        case Folder::Missing:
            return "";
        case Folder::Unusable:
            break;
        }
    }
    return "";
}

long remainingMs(const timespec &deadline)
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (deadline.tv_sec - now.tv_sec) * 1000 + (deadline.tv_nsec - now.tv_nsec) / 1000000;
}

// Bounds the next blocking call on the socket by the time left.
bool limitTo(int fd, const timespec &deadline)
{
    const long left = remainingMs(deadline);
    if (left <= 0)
        return false;
    const timeval t{left / 1000, (left % 1000) * 1000};
    return ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof(t)) == 0 &&
           ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof(t)) == 0;
}

enum class Delivery { NoCopyRunning, Delivered, NotDelivered };

// Connects to the running copy's socket, hands the message over and waits for the
// one-byte answer. No socket, or nobody listening on it: no copy runs.
Delivery deliver(const std::string &socketPath, const std::string &message)
{
    struct stat st = {};
    if (::lstat(socketPath.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid())
        return Delivery::NoCopyRunning;
    timespec deadline = {};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    if (fd < 0)
        return Delivery::NoCopyRunning;
    if (!limitTo(fd, deadline) ||
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        // A queue that stayed full: a copy runs but takes nothing.
        const bool busy = errno == EAGAIN || errno == EINPROGRESS;
        ::close(fd);
        return busy ? Delivery::NotDelivered : Delivery::NoCopyRunning;
    }
    // The folder is private to the user; still, nothing goes to a server that
    // another user runs.
    ucred peer = {};
    socklen_t length = sizeof(peer);
    bool ok = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::getuid();
    // Its length (4 bytes, big-endian) and that many bytes of UTF-8.
    const uint32_t size = uint32_t(message.size());
    std::string frame{char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
    frame += message;
    for (size_t sent = 0; ok && sent < frame.size();) {
        ok = limitTo(fd, deadline);
        const ssize_t n = ok ? ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL) : -1;
        ok = ok && (n > 0 || errno == EINTR);
        sent += n > 0 ? size_t(n) : 0;
    }
    char answer = 0;
    ssize_t n = -1;
    while (ok && n < 0) {
        ok = limitTo(fd, deadline);
        n = ok ? ::recv(fd, &answer, 1, 0) : -1;
        ok = ok && (n >= 0 || errno == EINTR);
    }
    ::close(fd);
    return ok && n == 1 && answer == '1' ? Delivery::Delivered : Delivery::NotDelivered;
}

} // namespace

int main(int, char **argv)
{
    const std::string program = fullProgram();
    if (program.empty()) {
        std::fprintf(stderr, "tolvane: the program is missing beside %s\n",
                     realPath("/proc/self/exe").c_str());
        return 127;
    }
    const std::string folder = runtimeFolder();
    if (!folder.empty()) {
        const std::string id =
            "tolvane-" + sha1Hex(program + '\n' + std::to_string(::getuid())).substr(0, 16);
        // The running copy shows its window; with the desktop's token it may take the keyboard.
        std::string message = "raies";
        for (const char *name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
            if (!env(name).empty()) {
                message += '\n' + std::string(name) + '=' + env(name);
                break;
            }
        }
        switch (deliver(folder + '/' + id + ".sock", message)) {
        case Delivery::Delivered:
            return 0;
        case Delivery::NotDelivered:
            std::fputs("Tolvane: the running copy did not take the message\n", stderr);
            return 0;
        case Delivery::NoCopyRunning:
            break;
        }
    }
    // No copy runs (or one is still starting up): the full program starts, or
    // hands over itself once the other copy listens.
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "tolvane: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}

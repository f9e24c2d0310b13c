// Loaded with LD_PRELOAD into a benchmark run (the bench itself or isql-fb): counts the
// synchronous writes that reach the disk and the round trips on sockets, so that the floor
// of a run can be derived from what it really asked of the disk and the network.
//
// A synchronous write is a write on a descriptor opened with O_DSYNC or O_SYNC, or an fsync
// or fdatasync. A round trip is a turn from sending to receiving on one socket: a client
// that sends two requests and then reads both answers pays one.
//
// The time spent in synchronous writes is kept too: the share of a run that the disk takes.
// The counts are read in-process through norvane_io_counts(), and written at exit to the
// file that NORVANE_IO_COUNTS names, as "sync_writes=<n> round_trips=<n> sync_write_ns=<n>".

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<long> g_syncWrites{0};
std::atomic<long> g_roundTrips{0};
std::atomic<long> g_syncWriteNs{0};

enum Direction : unsigned char { None, Sent, Received };
// The last direction seen per descriptor; descriptors beyond the table are not followed.
std::array<std::atomic<unsigned char>, 4096> g_direction{};

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Asked of the socket layer alone: an fstat would touch the file's inode, and one before every
// synchronous write makes each of them slower.
bool IsSocket(int fd) {
    int type = 0;
    socklen_t length = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0;
}

bool IsSynchronous(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags != -1 && (flags & (O_DSYNC | O_SYNC)) != 0;
}

void Sending(int fd) {
    if (fd >= 0 && static_cast<std::size_t>(fd) < g_direction.size())
        g_direction[static_cast<std::size_t>(fd)] = Sent;
}

void Receiving(int fd) {
    if (fd < 0 || static_cast<std::size_t>(fd) >= g_direction.size())
        return;
    if (g_direction[static_cast<std::size_t>(fd)].exchange(Received) == Sent)
        ++g_roundTrips;
}

using Clock = std::chrono::steady_clock;

void SyncWriteDone(Clock::time_point start) {
    ++g_syncWrites;
    g_syncWriteNs +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

// Runs a write to a file or a socket; only successful calls count.
template <typename Call> auto Write(int fd, Call call) {
    const bool socket = IsSocket(fd);
    const bool synchronous = !socket && IsSynchronous(fd);
    const auto start = Clock::now();
    const auto result = call();
    if (result >= 0 && socket)
        Sending(fd);
    if (result >= 0 && synchronous)
        SyncWriteDone(start);
    return result;
}

template <typename Call> int Flush(Call call) {
    const auto start = Clock::now();
    const int result = call();
    if (result == 0)
        SyncWriteDone(start);
    return result;
}

void Read(int fd, long result) {
    if (result >= 0 && IsSocket(fd))
        Receiving(fd);
}

struct ExitReport {
    ~ExitReport() {
        const char* path = std::getenv("NORVANE_IO_COUNTS");
        if (path == nullptr || *path == '\0')
            return;
        if (FILE* file = std::fopen(path, "w")) {
            std::fprintf(file, "sync_writes=%ld round_trips=%ld sync_write_ns=%ld\n",
                         g_syncWrites.load(), g_roundTrips.load(), g_syncWriteNs.load());
            std::fclose(file);
        }
    }
} g_exitReport;

} // namespace

extern "C" {

void norvane_io_counts(long* syncWrites, long* roundTrips, long* syncWriteNs) {
    *syncWrites = g_syncWrites.load();
    *roundTrips = g_roundTrips.load();
    *syncWriteNs = g_syncWriteNs.load();
}

ssize_t write(int fd, const void* data, size_t size) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    return Write(fd, [&] { return next(fd, data, size); });
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return Write(fd, [&] { return next(fd, data, size, offset); });
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return Write(fd, [&] { return next(fd, data, size, offset); });
}

ssize_t writev(int fd, const struct iovec* vector, int count) {
    static const auto next = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    return Write(fd, [&] { return next(fd, vector, count); });
}

int fsync(int fd) {
    static const auto next = Next<int (*)(int)>("fsync");
    return Flush([&] { return next(fd); });
}

int fdatasync(int fd) {
    static const auto next = Next<int (*)(int)>("fdatasync");
    return Flush([&] { return next(fd); });
}

ssize_t send(int fd, const void* data, size_t size, int flags) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, int)>("send");
    const ssize_t result = next(fd, data, size, flags);
    if (result >= 0)
        Sending(fd);
    return result;
}

ssize_t sendto(int fd, const void* data, size_t size, int flags, const struct sockaddr* to,
               socklen_t length) {
    static const auto next =
        Next<ssize_t (*)(int, const void*, size_t, int, const struct sockaddr*, socklen_t)>(
            "sendto");
    const ssize_t result = next(fd, data, size, flags, to, length);
    if (result >= 0)
        Sending(fd);
    return result;
}

ssize_t sendmsg(int fd, const struct msghdr* message, int flags) {
    static const auto next = Next<ssize_t (*)(int, const struct msghdr*, int)>("sendmsg");
    const ssize_t result = next(fd, message, flags);
    if (result >= 0)
        Sending(fd);
    return result;
}

ssize_t read(int fd, void* data, size_t size) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
    const ssize_t result = next(fd, data, size);
    Read(fd, result);
    return result;
}

ssize_t recv(int fd, void* data, size_t size, int flags) {
    static const auto next = Next<ssize_t (*)(int, void*, size_t, int)>("recv");
    const ssize_t result = next(fd, data, size, flags);
    if (result >= 0)
        Receiving(fd);
    return result;
}

ssize_t recvfrom(int fd, void* data, size_t size, int flags, struct sockaddr* from,
                 socklen_t* length) {
    static const auto next =
        Next<ssize_t (*)(int, void*, size_t, int, struct sockaddr*, socklen_t*)>("recvfrom");
    const ssize_t result = next(fd, data, size, flags, from, length);
    if (result >= 0)
        Receiving(fd);
    return result;
}

ssize_t recvmsg(int fd, struct msghdr* message, int flags) {
    static const auto next = Next<ssize_t (*)(int, struct msghdr*, int)>("recvmsg");
    const ssize_t result = next(fd, message, flags);
    if (result >= 0)
        Receiving(fd);
    return result;
}

} // extern "C"

#include "cli/mapserver.h"

#include "cli/serverwire.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

namespace quillet::cli {
namespace {

using namespace quillet::mapserver;

constexpr int kMaxWorkers = 64;

void Say(const std::string& text)
{
    std::fputs(("quillet-map: " + text + "\n").c_str(), stderr);
}

long Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return long(t.tv_sec);
}

// What the master and its workers share: counters for the status line and
// the idle check, and which worker workerPids are in a run.
struct Shared {
    pid_t master = 0;
    long started = 0;
    std::atomic<long> served{0};
    std::atomic<long> lastRun{0};
    std::atomic<int> workers{0};
    std::atomic<bool> busy[kMaxWorkers]{};
};

void CloseOthers(std::initializer_list<int> keep)
{
    std::vector<int> open;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder)) {
            const int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != dirfd(folder) && std::find(keep.begin(), keep.end(), fd) == keep.end())
                open.push_back(fd);
        }
        closedir(folder);
    }
    for (int fd : open)
        close(fd);
}

std::string OwnIdentity()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&StartServer), &info) == 0 || !info.dli_fname)
        return {};
    return FileIdentity(info.dli_fname);
}

// During a run a fatal signal (the caller's Ctrl+C passed on, a closed
// pipe, a crash) ends the worker as it would end the caller's own process;
// the caller is told first so that it ends by the same signal.
volatile sig_atomic_t g_connection = -1;
constexpr int kRelayed[] = {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void Relay(int sig)
{
    char text[24] = "signal ";
    int n = 7;
    char digits[8];
    int d = 0;
    for (int v = sig; v > 0 && d < 8; v /= 10)
        digits[d++] = char('0' + v % 10);
    while (d > 0)
        text[n++] = digits[--d];
    if (g_connection >= 0)
        send(g_connection, text, std::size_t(n), MSG_NOSIGNAL);
    signal(sig, SIG_DFL);
    raise(sig);
}

void SetRelay(bool on)
{
    struct sigaction a {};
    a.sa_handler = on ? Relay : SIG_DFL;
    sigemptyset(&a.sa_mask);
    for (int sig : kRelayed)
        sigaction(sig, &a, nullptr);
}

// The caller runs the map itself.
bool Refuse(int connection, const std::string& why)
{
    Send(connection, "refuse " + why);
    return false;
}

class Worker {
public:
    Worker(int listener, int slot, Shared* shared, std::string identity, std::string settings,
           const RunArguments& run, const std::string& path)
        : listener_(listener), slot_(slot), shared_(shared), identity_(std::move(identity)),
          settings_(std::move(settings)), run_(run), path_(path)
    {
    }

    [[noreturn]] void Loop(int runs)
    {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        home_ = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        for (int done = 0; done < runs;) {
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                _exit(3);
            }
            // A caller that connects and says nothing does not hold the worker.
            const timeval patience{5, 0};
            setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
            ucred peer{};
            socklen_t length = sizeof peer;
            int fds[kPassedDescriptors];
            std::string message;
            if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid() &&
                Receive(connection, message, fds, kPassedDescriptors)) {
                done += Answer(connection, Split(message), fds) ? 1 : 0;
                for (int fd : fds)
                    if (fd >= 0)
                        close(fd);
            }
            close(connection);
        }
        _exit(0);
    }

private:
    bool Answer(int connection, const std::vector<std::string>& f, const int* fds)
    {
        if (f.size() < 2 || f[0] != kMagic)
            return Refuse(connection, "protocol");
        if (f[1] == "stop") {
            Send(connection, "stopping");
            kill(shared_->master, SIGTERM);
            return false;
        }
        if (f[1] == "status") {
            const auto count = [](long n, const char* one, const char* many) {
                return std::to_string(n) + ' ' + (n == 1 ? one : many);
            };
            Send(connection, "quillet-map server at " + path_ + ": pid " + std::to_string(shared_->master) + ", " +
                                 count(shared_->workers.load(), "worker", "workers") + ", " +
                                 count(shared_->served.load(), "run", "runs") + " served, up " +
                                 std::to_string(Now() - shared_->started) + " s");
            return false;
        }
        if (f[1] != "run" || f.size() < 5)
            return Refuse(connection, "request");
        for (int i = 0; i < kPassedDescriptors; ++i)
            if (fds[i] < 0)
                return Refuse(connection, "descriptors");
        if (f[2].empty() || f[2] != identity_)
            return Refuse(connection, "another build");
        if (f[3] != settings_)
            return Refuse(connection, "other settings");
        char* end = nullptr;
        const long mask = std::strtol(f[4].c_str(), &end, 8);
        if (end == f[4].c_str() || *end != '\0' || mask < 0 || mask > 0777)
            return Refuse(connection, "request");
        QStringList arguments;
        for (std::size_t i = 5; i < f.size(); ++i)
            arguments << QString::fromLocal8Bit(f[i].data(), qsizetype(f[i].size()));

        if (!Send(connection, "pid " + std::to_string(getpid())))
            return false;
        shared_->busy[slot_] = true;
        // The run sees the caller's streams, folder and umask.
        std::fflush(nullptr);
        int saved[3];
        for (int i = 0; i < 3; ++i) {
            saved[i] = fcntl(i, F_DUPFD_CLOEXEC, 10);
            dup2(fds[i], i);
        }
        std::clearerr(stdin);
        std::clearerr(stdout);
        std::clearerr(stderr);
        // Lines reach a terminal as they are written, as in a process of its own.
        std::setvbuf(stdout, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
        const bool moved = fchdir(fds[3]) == 0;
        const mode_t oldMask = umask(mode_t(mask));
        g_connection = connection;
        SetRelay(true);
        int status = 1;
        if (moved) {
            status = run_(arguments);
        } else {
            std::fputs("quillet-map: the working folder cannot be entered\n", stderr);
        }
        std::fflush(stdout);
        std::fflush(stderr);
        SetRelay(false);
        g_connection = -1;
        umask(oldMask);
        if (fchdir(home_) != 0) {
            // The worker has no folder of its own to return to; it retires.
            Send(connection, "exit " + std::to_string(status));
            _exit(0);
        }
        for (int i = 0; i < 3; ++i) {
            dup2(saved[i], i);
            close(saved[i]);
        }
        shared_->served += 1;
        shared_->lastRun = Now();
        shared_->busy[slot_] = false;
        Send(connection, "exit " + std::to_string(status));
        return true;
    }

    int listener_, slot_;
    Shared* shared_;
    std::string identity_, settings_;
    const RunArguments& run_;
    const std::string& path_;
    int home_ = -1;
};

// Asks the user's server one thing and reads its answer line; says so and
// returns false when no server runs.
bool Ask(const std::string& request, std::string& path, std::string& answer)
{
    path = SocketPath();
    const int s = path.empty() ? -1 : Connect(path);
    const bool ok = s >= 0 && Send(s, Join({std::string(kMagic), request})) && Receive(s, answer);
    if (s >= 0)
        close(s);
    if (!ok)
        Say("no server runs at " + (path.empty() ? std::string("(QUILLET_MAP_SERVER is off)") : path));
    return ok;
}

} // namespace

int StartServer(const ServerSettings& settings, const std::function<void()>& prepare, const RunArguments& run)
{
    const std::string path = SocketPath();
    if (path.empty()) {
        Say("QUILLET_MAP_SERVER is off: no server to start");
        return 1;
    }
    std::string why;
    if (!MakeSocketFolder(path, &why)) {
        Say("cannot start a server at " + path + ": " + why);
        return 1;
    }
    if (const int s = Connect(path); s >= 0) {
        close(s);
        Say("a server already runs at " + path);
        return 0;
    }
    const std::string identity = OwnIdentity();
    // The settings as the caller has them, before the server picks its
    // platform: callers are compared with these.
    const std::string runSettings = RunSettings();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (identity.empty() || path.size() >= sizeof address.sun_path) {
        Say("cannot start a server at " + path + (identity.empty() ? ": the engine library is not found" : ": the path is too long"));
        return 1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    unlink(path.c_str()); // a socket left by a server that was killed
    struct stat own {};
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path.c_str(), 0600) != 0 || listen(listener, 128) != 0 || stat(path.c_str(), &own) != 0) {
        Say("cannot start a server at " + path + ": " + std::strerror(errno));
        if (listener >= 0)
            close(listener);
        return 1;
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        Say(std::string("cannot start a server: ") + std::strerror(errno));
        return 1;
    }
    std::fflush(nullptr);
    const pid_t master = fork();
    if (master < 0) {
        Say(std::string("cannot start a server: ") + std::strerror(errno));
        return 1;
    }
    if (master > 0) {
        close(ready[1]);
        close(listener);
        char byte = 0;
        ssize_t got;
        do
            got = read(ready[0], &byte, 1);
        while (got < 0 && errno == EINTR);
        close(ready[0]);
        if (got == 1)
            return 0;
        waitpid(master, nullptr, 0);
        Say("the server at " + path + " could not start");
        return 1;
    }

    // The master: detached from the terminal, the caller's streams and any
    // other descriptor the caller left open (a pipe someone waits on).
    close(ready[0]);
    setsid();
    if (const int null = open("/dev/null", O_RDWR | O_CLOEXEC); null >= 0) {
        for (int i = 0; i < 3; ++i)
            dup2(null, i);
        close(null);
    }
    CloseOthers({listener, ready[1]});
    if (chdir("/") != 0)
        _exit(1);
    prepare();

    void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        _exit(1);
    auto* shared = new (memory) Shared;
    shared->master = getpid();
    shared->started = shared->lastRun = Now();

    sigset_t handled;
    sigemptyset(&handled);
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&handled, sig);
    sigprocmask(SIG_BLOCK, &handled, nullptr);

    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    const int count = std::clamp(settings.workers > 0 ? settings.workers : int(std::max(processors, 1L)), 1, kMaxWorkers);
    std::vector<pid_t> workerPids(std::size_t(count), 0);
    const auto spawn = [&](int slot) {
        shared->busy[slot] = false;
        const pid_t pid = fork();
        if (pid == 0) {
            // A worker does not outlive its master (killed outright, say).
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != shared->master)
                _exit(0);
            if (ready[1] >= 0)
                close(ready[1]);
            Worker(listener, slot, shared, identity, runSettings, run, path).Loop(settings.runsPerWorker);
        }
        workerPids[std::size_t(slot)] = pid > 0 ? pid : 0;
    };
    for (int slot = 0; slot < count; ++slot)
        spawn(slot);
    shared->workers = count;
    const char byte = 'r';
    if (write(ready[1], &byte, 1) != 1)
        _exit(1);
    close(ready[1]);
    ready[1] = -1;

    // Workers that end are replaced, unless they keep failing at once.
    int quickFailures = 0;
    std::vector<long> bornAt(std::size_t(count), Now());
    bool stopping = false;
    while (!stopping) {
        timespec wait{1, 0};
        const int sig = sigtimedwait(&handled, nullptr, &wait);
        if (sig == SIGTERM || sig == SIGINT || sig == SIGHUP)
            stopping = true;
        int status;
        for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
            for (int slot = 0; slot < count; ++slot) {
                if (workerPids[std::size_t(slot)] != pid)
                    continue;
                const bool failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
                quickFailures = failed && Now() - bornAt[std::size_t(slot)] < 2 ? quickFailures + 1 : 0;
                if (quickFailures > 10)
                    stopping = true;
                workerPids[std::size_t(slot)] = 0;
                shared->busy[slot] = false;
                if (!stopping) {
                    bornAt[std::size_t(slot)] = Now();
                    spawn(slot);
                }
            }
        }
        // A server whose socket was removed or replaced can take no runs.
        struct stat now {};
        if (stat(path.c_str(), &now) != 0 || now.st_ino != own.st_ino || now.st_dev != own.st_dev)
            stopping = true;
        bool busy = false;
        for (int slot = 0; slot < count; ++slot)
            busy = busy || shared->busy[slot];
        if (settings.idleExitSeconds > 0 && !busy && Now() - shared->lastRun >= settings.idleExitSeconds)
            stopping = true;
    }
    // No new runs: the socket goes (if it is still this server's), then the workers.
    struct stat now {};
    if (stat(path.c_str(), &now) == 0 && now.st_ino == own.st_ino && now.st_dev == own.st_dev)
        unlink(path.c_str());
    close(listener);
    for (pid_t pid : workerPids)
        if (pid > 0)
            kill(pid, SIGTERM);
    while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    _exit(0);
}

int StopServer()
{
    std::string path, answer;
    if (!Ask("stop", path, answer))
        return 0;
    // Gone once its socket is: up to ten seconds.
    for (int i = 0; i < 200 && access(path.c_str(), F_OK) == 0; ++i)
        usleep(50'000);
    return 0;
}

int ServerStatus()
{
    std::string path, answer;
    if (!Ask("status", path, answer))
        return 1;
    std::printf("%s\n", answer.c_str());
    return 0;
}

} // namespace quillet::cli

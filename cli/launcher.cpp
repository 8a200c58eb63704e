// quillet-map starts small: it loads neither Qt nor the engine until it
// knows it needs them. When a map server of this very build runs for the
// user with the same settings, the run is handed to one of its warm
// workers together with this process's standard streams, working folder
// and umask; otherwise (and for the server commands) the engine library is
// loaded and runs here. The outputs, messages and exit status are the same
// either way.
#include "cli/serverwire.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace quillet::mapserver;

volatile sig_atomic_t g_worker = 0;

// Ctrl+C and the like reach the worker doing the run, which then tells
// how it ended.
void Forward(int sig)
{
    if (g_worker > 0)
        kill(pid_t(g_worker), sig);
}

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    std::string folder(path);
    return folder.substr(0, folder.rfind('/'));
}

// The engine library: beside the program in a build folder, or where the
// installation puts it relative to the program.
std::string EnginePath()
{
    const std::string folder = ProgramFolder();
    const std::string beside = folder + "/" QUILLET_ENGINE_NAME;
    if (access(beside.c_str(), R_OK) == 0)
        return beside;
    return folder + "/" QUILLET_ENGINE_INSTALLED;
}

bool ServerCommand(int argc, char** argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        for (const char* c : {"--start-server", "--stop-server", "--server-status"})
            if (std::strcmp(argv[i], c) == 0)
                return true;
    return false;
}

bool Open(int fd)
{
    return fcntl(fd, F_GETFD) != -1;
}

// Hands the run to a server. False when there is none or it declines, so
// that the run happens here; true once a worker took it, with its status.
bool RunOnServer(const std::string& engine, int argc, char** argv, int& status)
{
    const std::string path = SocketPath();
    if (path.empty() || !SafeLocation(path, nullptr) || !Open(0) || !Open(1) || !Open(2))
        return false;
    const mode_t mask = umask(0);
    umask(mask);
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", unsigned(mask));
    std::vector<std::string> fields{std::string(kMagic), "run", FileIdentity(engine), RunSettings(), octal};
    for (int i = 1; i < argc; ++i)
        fields.emplace_back(argv[i]);
    const std::string request = Join(fields);
    if (request.size() > kMaxMessage)
        return false;
    const int folder = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    const int s = Connect(path);
    if (s < 0) {
        close(folder);
        return false;
    }
    const int fds[kPassedDescriptors] = {0, 1, 2, folder};
    std::string answer;
    const bool sent = Send(s, request, fds, kPassedDescriptors);
    close(folder);
    if (!sent || !Receive(s, answer) || answer.rfind("pid ", 0) != 0) {
        close(s);
        return false;
    }
    g_worker = sig_atomic_t(std::atoi(answer.c_str() + 4));
    // Signals this process ignores (a background job's Ctrl+C) stay ignored.
    struct sigaction forward {}, was {};
    forward.sa_handler = Forward;
    sigemptyset(&forward.sa_mask);
    forward.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            sigaction(sig, &forward, nullptr);
    while (Receive(s, answer)) {
        if (answer.rfind("exit ", 0) == 0) {
            status = std::atoi(answer.c_str() + 5);
            close(s);
            return true;
        }
        if (answer.rfind("signal ", 0) == 0) {
            // The run ended by a signal: so does this process.
            const int sig = std::atoi(answer.c_str() + 7);
            close(s);
            signal(sig, SIG_DFL);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, sig);
            sigprocmask(SIG_UNBLOCK, &one, nullptr);
            raise(sig);
            status = 128 + sig;
            return true;
        }
    }
    close(s);
    std::fputs("quillet-map: the map server stopped during the run\n", stderr);
    status = 1;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string engine = EnginePath();
    int status = 0;
    if (!ServerCommand(argc, argv) && RunOnServer(engine, argc, argv, status))
        return status;
    void* library = dlopen(engine.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Main = int (*)(int, char**);
    const auto run = library ? reinterpret_cast<Main>(dlsym(library, "quillet_map_main")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "quillet-map: the engine cannot be loaded: %s\n", dlerror());
        return 1;
    }
    return run(argc, argv);
}

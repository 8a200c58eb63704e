#include "cli/serverwire.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quillet::mapserver {
namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Settles(std::string_view name)
{
    static constexpr std::string_view exact[] = {"LANG", "LANGUAGE", "HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                                                 "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CACHE_HOME"};
    static constexpr std::string_view prefixes[] = {"LC_", "QT_", "FONTCONFIG_", "FC_"};
    if (std::find(std::begin(exact), std::end(exact), name) != std::end(exact))
        return true;
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](std::string_view p) { return name.substr(0, p.size()) == p; });
}

} // namespace

std::string SocketPath()
{
    if (const char* chosen = std::getenv("QUILLET_MAP_SERVER"); chosen && *chosen) {
        const std::string_view v(chosen);
        if (v == "off" || v == "0" || v == "no")
            return {};
        return std::string(v);
    }
    struct stat st;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
        return std::string(runtime) + "/quillet-map/socket";
    return "/tmp/quillet-map-" + std::to_string(getuid()) + "/socket";
}

bool SafeLocation(const std::string& socketPath, std::string* why)
{
    const auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    const std::string folder = FolderOf(socketPath);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0)
        return fail(folder + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return fail(folder + " is not a folder");
    if (st.st_uid != getuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return fail(folder + " is not the user's own folder (others may write there)");
    if (lstat(socketPath.c_str(), &st) == 0 && (!S_ISSOCK(st.st_mode) || st.st_uid != getuid()))
        return fail(socketPath + " is not the user's own socket");
    return true;
}

bool MakeSocketFolder(const std::string& socketPath, std::string* why)
{
    const std::string folder = FolderOf(socketPath);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = folder + ": " + std::strerror(errno);
        return false;
    }
    return SafeLocation(socketPath, why);
}

std::string RunSettings()
{
    std::vector<std::string> kept;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view entry(*e);
        const auto equals = entry.find('=');
        if (equals != std::string_view::npos && Settles(entry.substr(0, equals)))
            kept.emplace_back(entry);
    }
    std::sort(kept.begin(), kept.end());
    std::string joined;
    for (const std::string& k : kept)
        joined += k + '\n';
    return joined;
}

std::string FileIdentity(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' + std::to_string(st.st_size) + ':' +
           std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
}

std::string Join(const std::vector<std::string>& fields)
{
    std::string message;
    for (const std::string& f : fields) {
        message += f;
        message += '\0';
    }
    return message;
}

std::vector<std::string> Split(std::string_view message)
{
    std::vector<std::string> fields;
    while (!message.empty()) {
        const auto end = message.find('\0');
        fields.emplace_back(message.substr(0, end));
        if (end == std::string_view::npos)
            break;
        message.remove_prefix(end + 1);
    }
    return fields;
}

int Connect(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int s = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    ucred peer{};
    socklen_t length = sizeof peer;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockopt(s, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
        close(s);
        return -1;
    }
    return s;
}

bool Send(int socket, const std::string& message, const int* fds, int fdCount)
{
    iovec data{const_cast<char*>(message.data()), message.size()};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kPassedDescriptors)] = {};
    if (fdCount > 0) {
        fdCount = std::min(fdCount, kPassedDescriptors);
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(sizeof(int) * fdCount);
        cmsghdr* c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fdCount);
        std::memcpy(CMSG_DATA(c), fds, sizeof(int) * fdCount);
    }
    ssize_t sent;
    do
        sent = sendmsg(socket, &header, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(message.size());
}

bool Receive(int socket, std::string& message, int* fds, int maxFds)
{
    for (int i = 0; i < maxFds; ++i)
        fds[i] = -1;
    message.resize(kMaxMessage);
    iovec data{message.data(), message.size()};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kPassedDescriptors)] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        message.clear();
        return false;
    }
    message.resize(std::size_t(got));
    int taken = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const int n = int((c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        for (int i = 0; i < n; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (taken < maxFds)
                fds[taken++] = fd;
            else
                close(fd); // more than asked for: not kept open
        }
    }
    // A truncated message is no message, and its descriptors are not kept.
    if ((header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0)
        return true;
    for (int i = 0; i < taken; ++i) {
        close(fds[i]);
        fds[i] = -1;
    }
    return false;
}

} // namespace quillet::mapserver

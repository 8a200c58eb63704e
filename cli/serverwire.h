#pragma once
// What the quillet-map launcher and the map server say to each other, and
// where they meet. Plain C++ and POSIX only: the launcher must start without
// loading Qt, which is the cost the server exists to save.
//
// A run request is one SOCK_SEQPACKET message of NUL-separated fields
//   "QMAP1" "run" IDENTITY SETTINGS UMASK ARG...
// carrying the caller's standard input, output, error and working folder
// as descriptors. The server answers "pid N" when a worker takes the run,
// then "exit N" (or "signal N" when the run ended by a signal). "refuse
// WHY" means the caller must run the map itself. "QMAP1" "stop" and
// "QMAP1" "status" are answered with one line of text.
#include <string>
#include <string_view>
#include <vector>

namespace quillet::mapserver {

inline constexpr std::string_view kMagic = "QMAP1";
// Larger requests (thousands of file names) run in the caller: one process
// for many files gains nothing from a warm server.
inline constexpr std::size_t kMaxMessage = 64 * 1024;
inline constexpr int kPassedDescriptors = 4; // stdin, stdout, stderr, working folder

// Where the server listens: $QUILLET_MAP_SERVER when it names a path,
// otherwise a socket in a folder of the user's own ($XDG_RUNTIME_DIR or
// /tmp/quillet-map-UID). Empty when QUILLET_MAP_SERVER is "off", "0" or
// "no": then no server is asked.
std::string SocketPath();

// Whether the folder holding `socketPath` and the socket itself belong to
// this user and nobody else may write there; `why` says what is wrong.
bool SafeLocation(const std::string& socketPath, std::string* why);
// Makes the default folder (mode 0700) if it is missing.
bool MakeSocketFolder(const std::string& socketPath, std::string* why);

// The environment that decides what a run draws and says (locale, fonts,
// Qt settings, folders fontconfig reads), sorted, one "NAME=value" per
// line. A server only serves callers whose settings equal its own.
std::string RunSettings();

// The engine library's file identity, so that a server only serves
// callers that would load the very same code.
std::string FileIdentity(const std::string& path);

std::string Join(const std::vector<std::string>& fields);
std::vector<std::string> Split(std::string_view message);

// Connects to a server listening at `path` that runs as this user; -1 if
// there is none (or it is someone else's).
int Connect(const std::string& path);
// One message with (optionally) descriptors; false if it could not be sent.
bool Send(int socket, const std::string& message, const int* fds = nullptr, int fdCount = 0);
// One message; up to `maxFds` passed descriptors land in `fds` (the rest
// of the array is -1). Returns false at the end of the connection or on an
// error.
bool Receive(int socket, std::string& message, int* fds = nullptr, int maxFds = 0);

} // namespace quillet::mapserver

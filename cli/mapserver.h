#pragma once
// The map server: a process that keeps the engine, Qt and the fonts loaded
// and warm, with a few workers that take runs handed over by the
// quillet-map launcher. A workflow that starts one quillet-map per file
// pays the loading once instead of once per file. Each run gets the
// caller's working folder, standard streams, umask and arguments, and its
// exit status or ending signal goes back to the caller, so a served run
// cannot be told from one run in the caller's own process.
#include <QStringList>

#include <functional>

namespace quillet::cli {

struct ServerSettings {
    int workers = 0;                 // runs at once; 0: one per processor
    int idleExitSeconds = 600;       // stop after this long without a run; 0: never
    int runsPerWorker = 1000;        // a worker is replaced after this many runs
};

// Runs one command line in this process (the application already made)
// and returns its exit status.
using RunArguments = std::function<int(const QStringList& arguments)>;

// Starts a server in the background and returns once it takes runs (0), or
// when it could not start (1, with a message). `prepare` runs in the server
// before its workers start: it makes the application and draws a first map
// so that the workers inherit everything loaded.
int StartServer(const ServerSettings& settings, const std::function<void()>& prepare, const RunArguments& run);
// Stops the server and waits until it is gone; 0 also when none runs.
int StopServer();
// One line on standard output about the server; 1 when none runs.
int ServerStatus();

} // namespace quillet::cli

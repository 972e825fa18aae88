#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace fernhop::test {

// A server program started for one test: its own process group, stdin from /dev/null, stdout
// and stderr into a log file, no inherited descriptors, and killed if the test process dies.
// stop() (also run by the destructor) ends the group and every descendant, even those that
// left the group (vsftpd puts each session in its own session), and reaps the server.
class ServerProcess
{
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // argv[0] is looked up in PATH. On failure returns false and says why in *error.
    bool start(const std::vector<std::string> &argv, const std::string &logPath, std::string *error);
    bool running();
    void stop();
    // Kills every process the server started (its sessions), not the server itself.
    void killDescendants();
    // Sends `signal` to every process the server started (SIGSTOP: sessions that stop answering).
    void signalDescendants(int signal);
    pid_t pid() const { return pid_; }
    // What the server wrote to stdout and stderr so far.
    std::string log() const;

private:
    pid_t pid_ = -1;
    std::string logPath_;
};

// Runs a short tool to its end with `input` on stdin; returns its exit status (-1 if it could
// not run) and its stdout and stderr in *output.
int runTool(const std::vector<std::string> &argv, const std::string &input, std::string *output);

// A fresh directory /tmp/<stem>-XXXXXX (mode 0700), empty on failure; removeTree() deletes one.
std::string makeTempDir(const std::string &stem);
void removeTree(const std::string &path);

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string &path);

} // namespace fernhop::test

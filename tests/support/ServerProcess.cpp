#include "support/ServerProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fernhop::test {

namespace {

using namespace std::chrono_literals;

// Resolved before fork: the child may only make async-signal-safe calls.
std::string findExecutable(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char *path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::vector<char *> cArgv(const std::vector<std::string> &argv)
{
    std::vector<char *> out;
    for (const std::string &arg : argv)
        out.push_back(const_cast<char *>(arg.c_str()));
    out.push_back(nullptr);
    return out;
}

// Runs in the forked child: a clean signal state and only fds 0-2 survive the exec.
void prepareChild()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &dfl, nullptr);
    }
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 65536; ++fd)
            fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

struct ProcessEntry
{
    pid_t pid;
    pid_t parent;
    bool zombie;
};

std::vector<ProcessEntry> processTable()
{
    std::vector<ProcessEntry> table;
    DIR *proc = opendir("/proc");
    if (!proc)
        return table;
    while (dirent *entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        // Empty for a process that is gone by now: it gets no entry.
        const std::string text = readWholeFile("/proc/" + std::string(entry->d_name) + "/stat").value_or("");
        // The command name may hold spaces and parentheses; the fields follow the last ')'.
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent)
            table.push_back({pid, parent, state == "Z"});
    }
    closedir(proc);
    return table;
}

struct Descendant
{
    pid_t pid;
    bool zombie;
    bool hasChildren;
};

std::vector<Descendant> descendantsOf(pid_t root)
{
    const std::vector<ProcessEntry> table = processTable();
    std::vector<Descendant> found;
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t parent = todo.back();
        todo.pop_back();
        for (const ProcessEntry &entry : table) {
            if (entry.parent != parent)
                continue;
            const bool hasChildren = std::any_of(table.begin(), table.end(), [&](const ProcessEntry &e) {
                return e.parent == entry.pid;
            });
            found.push_back({entry.pid, entry.zombie, hasChildren});
            todo.push_back(entry.pid);
        }
    }
    return found;
}

// Kills the server's descendants leaves first, so that each parent reaps its children before
// it goes itself and nothing is left for init to collect. vsftpd puts every session in a
// session of its own, out of reach of a kill of the server's group. Whatever does not go in
// time is killed all the same.
void endDescendants(pid_t root)
{
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    for (;;) {
        const std::vector<Descendant> tree = descendantsOf(root);
        if (tree.empty())
            return;
        const bool late = std::chrono::steady_clock::now() > deadline;
        for (const Descendant &process : tree) {
            if (!process.zombie && (late || !process.hasChildren))
                kill(process.pid, SIGKILL);
        }
        if (late)
            return;
        std::this_thread::sleep_for(5ms);
    }
}

std::string tempFile(const char *stem)
{
    std::string path = std::string("/tmp/") + stem + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return {};
    close(fd);
    return path;
}

} // namespace

void ServerProcess::killDescendants()
{
    if (pid_ > 0)
        endDescendants(pid_);
}

void ServerProcess::signalDescendants(int signal)
{
    if (pid_ <= 0)
        return;
    for (const Descendant &process : descendantsOf(pid_))
        kill(process.pid, signal);
}

std::string makeTempDir(const std::string &stem)
{
    std::string path = "/tmp/" + stem + "-XXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

void removeTree(const std::string &path)
{
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

// Plain reads, because a stream's read error escapes an istreambuf_iterator as an exception:
// /proc/<pid>/stat of a process reaped between open and read fails with ESRCH, and in a
// destructor (ServerProcess::stop) that exception ends the whole test program.
std::optional<std::string> readWholeFile(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, size_t(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    return bytes;
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const std::vector<std::string> &argv, const std::string &logPath,
                          std::string *error)
{
    stop();
    logPath_ = logPath;
    const std::string program = argv.empty() ? std::string() : findExecutable(argv[0]);
    if (program.empty()) {
        *error = "program not found: " + (argv.empty() ? std::string("(none)") : argv[0]);
        return false;
    }
    std::vector<std::string> args = argv;
    args[0] = program;
    std::vector<char *> cargs = cArgv(args);

    const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int nullFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int execPipe[2] = {-1, -1};
    if (logFd < 0 || nullFd < 0 || pipe2(execPipe, O_CLOEXEC) != 0) {
        *error = "cannot prepare " + logPath + ": " + std::strerror(errno);
        for (int fd : {logFd, nullFd, execPipe[0], execPipe[1]})
            if (fd >= 0)
                close(fd);
        return false;
    }

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(nullFd, 0);
        dup2(logFd, 1);
        dup2(logFd, 2);
        prepareChild();
        execv(cargs[0], cargs.data());
        const int err = errno;
        (void)!write(execPipe[1], &err, sizeof err);
        _exit(127);
    }
    const int forkErrno = errno;
    close(logFd);
    close(nullFd);
    close(execPipe[1]);
    if (pid < 0) {
        close(execPipe[0]);
        *error = std::string("fork failed: ") + std::strerror(forkErrno);
        return false;
    }
    setpgid(pid, pid); // also here, so that a kill of the group never misses a fresh child

    int execErrno = 0;
    const ssize_t got = read(execPipe[0], &execErrno, sizeof execErrno);
    close(execPipe[0]);
    if (got == static_cast<ssize_t>(sizeof execErrno)) {
        waitpid(pid, nullptr, 0);
        *error = "cannot run " + program + ": " + std::strerror(execErrno);
        return false;
    }
    pid_ = pid;
    return true;
}

bool ServerProcess::running()
{
    if (pid_ < 0)
        return false;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void ServerProcess::stop()
{
    if (!running())
        return;
    endDescendants(pid_);
    kill(-pid_, SIGTERM);
    // Wait for the exit without reaping: while the leader is a zombie the group id stays ours.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid_)
            break;
        if (std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(10ms);
    }
    kill(-pid_, SIGKILL); // anything left in the group
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string ServerProcess::log() const
{
    return readWholeFile(logPath_).value_or(std::string());
}

int runTool(const std::vector<std::string> &argv, const std::string &input, std::string *output)
{
    output->clear();
    const std::string program = argv.empty() ? std::string() : findExecutable(argv[0]);
    const std::string inPath = tempFile("fernhop-tool-in");
    const std::string outPath = tempFile("fernhop-tool-out");
    int status = -1;
    if (program.empty()) {
        *output = "program not found: " + (argv.empty() ? std::string("(none)") : argv[0]);
    } else if (!inPath.empty() && !outPath.empty()) {
        // Stdin comes from a file, so the tool never waits on a pipe nobody drains.
        std::ofstream(inPath, std::ios::binary) << input;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<std::string> args = argv;
        args[0] = program;
        std::vector<char *> cargs = cArgv(args);
        pid_t pid = -1;
        const int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargs.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int raw = 0;
        if (err != 0)
            *output = "cannot run " + program + ": " + std::strerror(err);
        else if (waitpid(pid, &raw, 0) == pid && WIFEXITED(raw))
            status = WEXITSTATUS(raw);
        if (output->empty())
            *output = readWholeFile(outPath).value_or(std::string());
    }
    for (const std::string &path : {inPath, outPath})
        if (!path.empty())
            unlink(path.c_str());
    return status;
}

} // namespace fernhop::test

// Runs the built engine as a child process with scripted standard input and
// captures what it prints, for end-to-end tests of the protocol and tools.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct EngineRun {
    std::string out;
    std::string err;
    int status = -1;   // exit status, or -1 when the process did not exit normally
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A fresh empty directory under the system temp directory.
inline std::string makeTempDir() {
    char pattern[] = "/tmp/quillantor-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? std::string(dir) : std::string("/tmp");
}

// A fresh working directory for one engine run, removed with everything in it
// when the object goes out of scope.
struct TempDir {
    std::string path = makeTempDir();
    TempDir() = default;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        if (path.rfind("/tmp/quillantor-test-", 0) == 0) std::filesystem::remove_all(path, ignored);
    }
};

// In a forked child: becomes the engine with args, running in workDir, its
// standard streams already redirected. Never returns.
[[noreturn]] inline void execEngine(const std::vector<std::string>& args,
                                    const std::string& workDir,
                                    const char* program = QL_ENGINE_PATH) {
    if (chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

// Runs QL_ENGINE_PATH with args in workDir, feeding input on standard input.
// timeoutSeconds bounds the run: a hung engine is killed and reported with
// status -1.
inline EngineRun runEngine(const std::vector<std::string>& args, const std::string& input,
                           const std::string& workDir, int timeoutSeconds = 120) {
    EngineRun run;
    const std::string inPath = workDir + "/.stdin", outPath = workDir + "/.stdout",
                      errPath = workDir + "/.stderr";
    {
        std::ofstream in(inPath, std::ios::binary);
        in << input;
    }
    pid_t pid = fork();
    if (pid == 0) {
        int fdIn = open(inPath.c_str(), O_RDONLY);
        int fdOut = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fdErr = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0) _exit(126);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        alarm(static_cast<unsigned>(timeoutSeconds));
        execEngine(args, workDir);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = readWholeFile(outPath);
    run.err = readWholeFile(errPath);
    return run;
}

// Runs QL_ENGINE_PATH with args in workDir on a pseudo-terminal, with no
// input, and returns what it wrote there (line ends as the terminal turns them).
inline std::string runEngineOnTerminal(const std::vector<std::string>& args,
                                       const std::string& workDir, int timeoutSeconds = 60) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return "";
    if (pid == 0) {
        alarm(static_cast<unsigned>(timeoutSeconds));
        execEngine(args, workDir);
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;   // EIO once the child has closed the terminal
        text.append(buffer, static_cast<size_t>(n));
    }
    close(master);
    waitpid(pid, nullptr, 0);
    return text;
}

// The engine as a GUI talks to it: a child process on two pipes, written to
// and read from line by line, so a test can answer what the engine prints.
class EngineSession {
public:
    // program: the engine, unless another one is named (the test program
    // itself, started as an engine, for one that must not get threads).
    EngineSession(const std::vector<std::string>& args, const std::string& workDir,
                  const std::string& program = QL_ENGINE_PATH) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) dup2(devNull, 2);
            close(toChild[1]);
            close(fromChild[0]);
            execEngine(args, workDir, program.c_str());
        }
        close(toChild[0]);
        close(fromChild[1]);
        in = toChild[1];
        out = fromChild[0];
        signal(SIGPIPE, SIG_IGN);   // a dead engine shows as a failed write
    }
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;
    ~EngineSession() {
        closeInput();
        if (out >= 0) close(out);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    bool started() const { return pid > 0 && in >= 0 && out >= 0; }
    pid_t processId() const { return pid; }

    // Writes text (whole lines, each ending in a line feed).
    bool send(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(in, text.data() + done, text.size() - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // The next line without its line feed; false at end of output or when
    // nothing complete arrives within timeoutMs.
    bool readLine(std::string* line, int timeoutMs = 30000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t end = pending.find('\n');
            if (end != std::string::npos) {
                *line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            pollfd p = {out, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(out, buffer, sizeof buffer);
            if (n <= 0) return false;
            pending.append(buffer, static_cast<size_t>(n));
        }
    }

    // Reads lines until one starts with prefix; the lines before it (and it)
    // go to *seen when given. False on a timeout or the end of output.
    // The timeout bounds the whole wait, however many other lines come.
    bool readUntil(const std::string& prefix, std::string* found,
                   std::vector<std::string>* seen = nullptr, int timeoutMs = 30000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !readLine(&line, static_cast<int>(left))) break;
            if (seen) seen->push_back(line);
            if (line.rfind(prefix, 0) == 0) {
                *found = line;
                return true;
            }
        }
        return false;
    }

    void closeInput() {
        if (in >= 0) close(in);
        in = -1;
    }

    // Closes standard input and waits for the exit status (-1 when the
    // process did not exit normally within timeoutMs).
    int finish(int timeoutMs = 30000) {
        closeInput();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(1000);
        }
        return -1;
    }

private:
    pid_t pid = -1;
    int in = -1, out = -1;
    std::string pending;
};

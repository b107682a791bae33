// Runs the built engine as a child process with scripted standard input and
// captures what it prints, for end-to-end tests of the protocol and tools.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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
        if (chdir(workDir.c_str()) != 0) _exit(126);
        int fdIn = open(inPath.c_str(), O_RDONLY);
        int fdOut = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fdErr = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0) _exit(126);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        alarm(static_cast<unsigned>(timeoutSeconds));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(QL_ENGINE_PATH));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QL_ENGINE_PATH, argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = readWholeFile(outPath);
    run.err = readWholeFile(errPath);
    return run;
}

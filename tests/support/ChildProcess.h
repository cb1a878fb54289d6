// A program as a child process with pipes on its stdin and stdout: orvik-bus-sim (at
// ORVIK_BUS_SIM_PATH, defined by the test target) unless another program is named.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvik::test {

// The program as a child process with pipes on stdin and stdout (and stderr into the same pipe
// when `withErrors`). Ends it by its PID in the destructor, also when a test fails half way.
class ChildProcess {
public:
    ChildProcess(std::string path, std::vector<std::string> args, bool withErrors = false) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            if (withErrors)
                dup2(out[1], STDERR_FILENO);
            std::vector<char*> argv;
            argv.push_back(path.data());
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~ChildProcess() {
        Stop();
        if (stdin_ >= 0)
            close(stdin_);
        if (stdout_ >= 0)
            close(stdout_);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int signal) {
        if (pid_ > 0)
            kill(pid_, signal);
    }

    // One line of the program's stdout, within `wait`.
    std::string ReadLine(std::chrono::milliseconds wait = std::chrono::milliseconds(5000)) {
        const auto end = std::chrono::steady_clock::now() + wait;
        std::string line;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(stdout_, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return line;
    }

    void Write(const std::string& text) {
        [[maybe_unused]] auto n = write(stdin_, text.data(), text.size());
    }
    void CloseStdin() {
        close(stdin_);
        stdin_ = -1;
    }

    // Waits up to `wait` for the program to end by itself; returns its exit code, or -1.
    int WaitExit(std::chrono::milliseconds wait) {
        const auto end = std::chrono::steady_clock::now() + wait;
        while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    // SIGTERM, then SIGKILL after two seconds. Returns the exit code (128 + signal if killed).
    int Stop() {
        if (pid_ <= 0)
            return exitCode_;
        kill(pid_, SIGTERM);
        exitCode_ = WaitExit(std::chrono::milliseconds(2000));
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
            exitCode_ = 128 + SIGKILL;
        }
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int exitCode_ = -1;
};

#ifdef ORVIK_BUS_SIM_PATH
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
        : ChildProcess(ORVIK_BUS_SIM_PATH, std::move(args)) {}
};
#endif

} // namespace orvik::test

// orvik-bus-sim as a child process whose stdout gives the far end's path. Ends it by its PID
// (SIGTERM, then SIGKILL after two seconds) in the destructor, also when a test fails.
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

class SimChild {
public:
    explicit SimChild(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::string path = ORVIK_BUS_SIM_PATH;
            std::vector<char*> argv{path.data()};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        stdout_ = out[0];
    }
    ~SimChild() {
        Stop();
        if (stdout_ >= 0)
            close(stdout_);
    }
    SimChild(const SimChild&) = delete;
    SimChild& operator=(const SimChild&) = delete;

    bool Started() const { return pid_ > 0; }

    // The first line of stdout, within five seconds.
    std::string FarEnd() {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + std::chrono::seconds(5);
        std::string line;
        while (Clock::now() < end) {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(stdout_, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    // Returns the exit code, 128 + signal when killed.
    int Stop() {
        if (pid_ <= 0)
            return exitCode_;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200 && pid_ > 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitCode_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        exitCode_ = 128 + SIGKILL;
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int exitCode_ = -1;
};

} // namespace orvik::test

// Runs a check as an ordinary user, where permissions hold: at once when the test is not run
// by root, else in a child process as the user nobody, after `paths` were given to nobody.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace orvik::test {

// Whether `check` returned true. A child that does not end within 10 s counts as false.
inline bool AsOrdinaryUser(const std::function<bool()>& check,
                           const std::vector<std::string>& paths = {}) {
    if (::geteuid() != 0)
        return check();
    const uid_t nobody = 65534;
    for (const auto& p : paths)
        if (::chown(p.c_str(), nobody, nobody) != 0)
            return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        int code = 1;
        if (::setgid(nobody) == 0 && ::setuid(nobody) == 0) {
            try {
                code = check() ? 0 : 1;
            } catch (...) {
            }
        }
        ::_exit(code);
    }
    int status = -1;
    for (int i = 0; i < 1000 && ::waitpid(child, &status, WNOHANG) == 0; ++i)
        ::usleep(10000);
    if (!WIFEXITED(status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return false;
    }
    return WEXITSTATUS(status) == 0;
}

} // namespace orvik::test

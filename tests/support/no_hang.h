// Test helper for code that must not block, such as opening a pipe as if it were a file: the
// code runs in a child process, so a hang fails the one test (the child is killed) instead of
// holding the whole test program. The limit is a guard against a hang, not a measure of speed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

// Runs `action` in a forked child and tells what came of it: "true" or "false" as it answered,
// "hung" when it was still running after `limit_seconds` (it is then killed), or "crashed". The
// child has only the calling thread: `action` must not wait for other threads of the program.
inline std::string run_in_child(const std::function<bool()>& action, double limit_seconds = 20) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) ::_exit(action() ? 0 : 1);
    if (child < 0) return "crashed";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(limit_seconds);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return "hung";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!WIFEXITED(status)) return "crashed";
    return WEXITSTATUS(status) == 0 ? "true" : "false";
}

#pragma once
// What the benchmarks share: a child run to its end with its output captured, and the middle
// value of their rounds.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// A child's run: wall time, processor time (user and system), peak resident memory, and
// whether it ended with status 0.
struct ChildRun {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    bool succeeded = false;
};

// Runs args[0] with args to its end, its standard output going to capture; a program that
// cannot start ends the benchmark.
inline ChildRun RunChild(const std::vector<std::string>& args,
                         const std::filesystem::path& capture) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss,
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

// The middle value of a benchmark's rounds: one slow round on a shared machine does not move it.
template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

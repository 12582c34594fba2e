#pragma once

#include "platform/Background.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace ovra::bench {

// Runs a peer command to its end with its output thrown away; its exit status,
// or -1 when it could not start or did not exit by itself.
inline int spawnAndWait(const std::vector<std::string>& argv, char** env = environ)
{
    std::vector<char*> raw;
    for (const std::string& a : argv)
        raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), env);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the jobs `workers` at a time, as a peer's processes would be started
// one per core; returns how many failed.
inline int runParallel(int count, int workers, const std::function<bool(int)>& job)
{
    std::atomic<int> failed{0};
    background::forEach(workers, count, [&](qsizetype i) {
        if (!job(int(i))) ++failed;
    });
    return failed;
}

} // namespace ovra::bench

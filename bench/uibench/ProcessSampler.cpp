#include "ProcessSampler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <ctime>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ovra::bench {
namespace {

struct ProcStat {
    long ppid = 0;
    double cpuSeconds = 0;
    double rssMb = 0;
};

bool readStat(const char* pid, ProcStat& out)
{
    char path[300];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    FILE* file = std::fopen(path, "re");
    if (!file) return false;
    char line[1024];
    const bool got = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // The command name may hold spaces and parentheses: the fields start after the last ')'.
    const char* fields = got ? std::strrchr(line, ')') : nullptr;
    if (!fields) return false;
    char state = 0;
    long ppid = 0;
    unsigned long utime = 0, stime = 0;
    long rss = 0;
    // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime
    // stime cutime cstime priority nice threads itrealvalue starttime vsize rss
    if (std::sscanf(fields + 2,
                    "%c %ld %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu %*d %*d %*d %*d %*d %*d "
                    "%*u %*u %ld",
                    &state, &ppid, &utime, &stime, &rss) != 5)
        return false;
    static const double tick = double(sysconf(_SC_CLK_TCK));
    static const double pageMb = double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    out = {ppid, double(utime + stime) / tick, double(rss) * pageMb};
    return true;
}

// The process's proportional share of the pages it maps: the helpers map the
// same libraries and read the same files, and a sum of their resident sizes
// would count those pages once for each helper.
double proportionalMb(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/smaps_rollup", pid);
    FILE* file = std::fopen(path, "re");
    if (!file) return 0;
    char line[256];
    long kilobytes = 0;
    while (std::fgets(line, sizeof line, file)) {
        if (std::sscanf(line, "Pss: %ld kB", &kilobytes) == 1) break;
    }
    std::fclose(file);
    return double(kilobytes) / 1024.0;
}

std::unordered_map<long, ProcStat> allProcesses()
{
    std::unordered_map<long, ProcStat> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        ProcStat stat;
        if (readStat(entry->d_name, stat)) out.emplace(std::atol(entry->d_name), stat);
    }
    closedir(proc);
    return out;
}

double secondsOf(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

ProcessSampler::ProcessSampler(int periodMs)
    : m_thread([this, periodMs] { run(periodMs); })
{
}

ProcessSampler::~ProcessSampler()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

ProcessSampler::Reading ProcessSampler::read(bool withProportional)
{
    const std::unordered_map<long, ProcStat> processes = allProcesses();
    Reading reading;
    const long self = long(getpid());
    if (auto it = processes.find(self); it != processes.end()) reading.appRssMb = it->second.rssMb;
    // Descendants, level by level: a helper may start processes of its own.
    std::vector<long> parents{self};
    while (!parents.empty()) {
        std::vector<long> children;
        for (const auto& [pid, stat] : processes) {
            for (long parent : parents) {
                if (stat.ppid != parent) continue;
                children.push_back(pid);
                reading.helpersRssMb += stat.rssMb;
                if (withProportional) reading.helpersPssMb += proportionalMb(pid);
                reading.helpersCpuSeconds += stat.cpuSeconds;
                ++reading.helpers;
            }
        }
        parents = std::move(children);
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    reading.helpersCpuSeconds += secondsOf(usage);
    getrusage(RUSAGE_SELF, &usage);
    reading.appCpuSeconds = secondsOf(usage);
    return reading;
}

double ProcessSampler::appPeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

ProcessSampler::Reading ProcessSampler::last() const
{
    std::lock_guard lock(m_mutex);
    return m_last;
}

double ProcessSampler::helpersPeakRssMb() const
{
    std::lock_guard lock(m_mutex);
    return m_helpersPeakMb;
}

double ProcessSampler::helpersPeakPssMb() const
{
    std::lock_guard lock(m_mutex);
    return m_helpersPeakPssMb;
}

double ProcessSampler::ownCpuSeconds() const
{
    std::lock_guard lock(m_mutex);
    return m_ownCpuSeconds;
}

void ProcessSampler::run(int periodMs)
{
    std::unique_lock lock(m_mutex);
    for (int n = 0; !m_stopping; ++n) {
        lock.unlock();
        // A helper's proportional size walks its whole address space: taken
        // less often, it costs the app's figures next to nothing.
        const bool withProportional = n % kProportionalEvery == 0;
        Reading reading = read(withProportional);
        timespec own{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &own);
        lock.lock();
        m_ownCpuSeconds = double(own.tv_sec) + double(own.tv_nsec) / 1e9;
        reading.appCpuSeconds -= m_ownCpuSeconds;
        if (!withProportional) reading.helpersPssMb = m_last.helpersPssMb;
        m_last = reading;
        m_helpersPeakMb = std::max(m_helpersPeakMb, reading.helpersRssMb);
        m_helpersPeakPssMb = std::max(m_helpersPeakPssMb, reading.helpersPssMb);
        m_wake.wait_for(lock, std::chrono::milliseconds(periodMs), [this] { return m_stopping; });
    }
}

} // namespace ovra::bench

#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ovra::bench {

// Samples this process and its descendants (the app's helper processes) on a
// thread of its own, so the readings of /proc cost the GUI thread nothing:
// resident memory now and at its highest, and the CPU time used so far.
class ProcessSampler {
public:
    struct Reading {
        double appRssMb = 0;
        double helpersRssMb = 0; // every descendant together
        double helpersPssMb = 0; // the same, each shared page counted once
        int helpers = 0;
        double appCpuSeconds = 0;
        double helpersCpuSeconds = 0; // live descendants plus those already reaped
    };

    explicit ProcessSampler(int periodMs = 250);
    ~ProcessSampler();

    Reading last() const;
    // The highest sum of the helpers' resident memory any sample saw.
    double helpersPeakRssMb() const;
    double helpersPeakPssMb() const;
    // The app's own peak, as the kernel kept it (no sample can miss it).
    static double appPeakRssMb();
    // The CPU time the sampling itself took, which its readings leave out of
    // the app's.
    double ownCpuSeconds() const;
    // Takes a reading now, on the calling thread.
    static Reading read(bool withProportional = true);

private:
    static constexpr int kProportionalEvery = 8;

    void run(int periodMs);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    Reading m_last;
    double m_helpersPeakMb = 0;
    double m_helpersPeakPssMb = 0;
    double m_ownCpuSeconds = 0;
    std::thread m_thread;
};

} // namespace ovra::bench

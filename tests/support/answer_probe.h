#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace qtltest {

// What the desktop asks of a window while it works: from a thread of its own, one query every
// tenth of a second (an accessibility query, a window manager's ping) posted to the thread the
// probe was made on, and how long each waited to be answered. A frozen window shows as long
// waits, not as lost queries.
class AnswerProbe {
  public:
    AnswerProbe();
    ~AnswerProbe();
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;

    // Starts and stops asking; either may be called from any thread, more than once.
    void Start() { asking_ = true; }
    void Stop() { asking_ = false; }
    // The waits of the queries answered so far, in milliseconds, in the order they were asked.
    // Call on the probe's thread after letting it process its events.
    std::vector<double> Waits() const;

  private:
    QObject answerer_;
    std::atomic<bool> asking_ = false;
    std::atomic<bool> ending_ = false;
    mutable std::mutex mutex_;
    std::vector<double> waits_;
    std::thread desktop_;
};

// The median and the largest of `waits`; 0 for none.
double Median(std::vector<double> waits);
double Worst(const std::vector<double>& waits);

}  // namespace qtltest

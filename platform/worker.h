#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// A thread of its own for the long, blocking part of a drive's work (writing a file, syncing
// it, reading it back), so that the thread that asked, the window's, keeps answering its
// desktop meanwhile instead of stopping for as long as a slow medium takes. The thread starts
// at the first use and ends with the object.
class Worker {
  public:
    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs `work` on the worker's thread and returns once it has ended, calling `keepAlive` on
    // this thread at least every hundredth of a second meanwhile; an exception of `work` is
    // raised here. If `keepAlive` throws, it is not called again: the work ends first, and then
    // the keep-alive's exception is raised here. Called again from inside `keepAlive`, it runs
    // `work` on this thread.
    void Run(const std::function<void()>& work, const std::function<void()>& keepAlive);

  private:
    void Serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* work_ = nullptr;  // handed over, not yet done
    bool busy_ = false;
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace platform

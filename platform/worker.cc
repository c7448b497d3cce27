#include "platform/worker.h"

#include <chrono>
#include <utility>

namespace platform {

Worker::~Worker() {
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Worker::Run(const std::function<void()>& work, const std::function<void()>& keepAlive) {
    std::unique_lock lock(mutex_);
    if (busy_) {  // asked again while keeping alive: there is no one else to wait for it
        lock.unlock();
        work();
        return;
    }
    busy_ = true;
    work_ = &work;
    failure_ = nullptr;
    if (!thread_.joinable())
        thread_ = std::thread([this] { Serve(); });
    changed_.notify_all();
    std::exception_ptr stopped;  // what the keep-alive threw
    while (!changed_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !work_; })) {
        if (stopped)
            continue;  // the work still uses this caller's values: it ends before anything goes
        lock.unlock();
        try {
            keepAlive();
        } catch (...) {
            stopped = std::current_exception();
        }
        lock.lock();
    }
    busy_ = false;
    const std::exception_ptr failure = std::exchange(failure_, nullptr);
    if (stopped)
        std::rethrow_exception(stopped);
    if (failure)
        std::rethrow_exception(failure);
}

void Worker::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || work_ != nullptr; });
        if (work_ == nullptr)
            return;  // ending, with nothing handed over
        const std::function<void()>& work = *work_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        work_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace platform

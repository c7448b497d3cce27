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
    while (!changed_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !work_; })) {
        lock.unlock();
        keepAlive();
        lock.lock();
    }
    busy_ = false;
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
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

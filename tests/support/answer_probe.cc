#include "tests/support/answer_probe.h"

#include <QCoreApplication>
#include <algorithm>

namespace qtltest {

AnswerProbe::AnswerProbe() {
    desktop_ = std::thread([this] {
        using Clock = std::chrono::steady_clock;
        auto next = Clock::now();
        while (!ending_) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
            if (!asking_)
                continue;
            const Clock::time_point asked = Clock::now();
            QMetaObject::invokeMethod(
                &answerer_,
                [this, asked] {
                    const std::chrono::duration<double, std::milli> wait = Clock::now() - asked;
                    const std::lock_guard lock(mutex_);
                    waits_.push_back(wait.count());
                },
                Qt::QueuedConnection);
        }
    });
}

AnswerProbe::~AnswerProbe() {
    ending_ = true;
    desktop_.join();
}

std::vector<double> AnswerProbe::Waits() const {
    const std::lock_guard lock(mutex_);
    return waits_;
}

double Median(std::vector<double> waits) {
    if (waits.empty())
        return 0;
    std::sort(waits.begin(), waits.end());
    return waits[waits.size() / 2];
}

double Worst(const std::vector<double>& waits) {
    return waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
}

}  // namespace qtltest

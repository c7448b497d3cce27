#pragma once

#include <QByteArray>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

// Child programs run to their end (mtools, for the FAT floppies), with no shell in between.
namespace platform {

// One child program and everything it is given.
struct ChildRun {
    QByteArray program;                   // the program file, an absolute path
    std::vector<QByteArray> arguments;    // its argv, its own name first
    std::vector<QByteArray> environment;  // its whole environment, nothing inherited
    // The descriptors it gets, as {number in the child, our descriptor}; standard input is
    // /dev/null unless given here, and every other descriptor of ours is closed in the child.
    std::vector<std::pair<int, int>> descriptors;
    // Receives its standard output as it comes (may be empty: the output is dropped).
    std::function<void(const char*, size_t)> output;
    // After this long the child is ended: SIGTERM, then SIGKILL a second later.
    std::chrono::milliseconds deadline{std::chrono::minutes(2)};
};

// How a child ended, and what it said on standard error (the first 64 KiB).
struct ChildOutcome {
    enum class End { kExited, kSignalled, kTimedOut, kNotStarted };
    End end = End::kNotStarted;
    int status = -1;  // its exit status when it exited
    QByteArray errors;

    bool ok() const { return end == End::kExited && status == 0; }
};

// Starts children and waits for them; one virtual method, so a test wraps it to make a run
// fail to start, die, fail, hang or say something else.
class Children {
  public:
    virtual ~Children() = default;
    // Runs `run` to its end and drains its output and errors. The child never outlives the
    // program: it is killed when the thread that started it ends, and at the deadline. Never
    // raises: a program that cannot be started is kNotStarted.
    virtual ChildOutcome Run(const ChildRun& run);
};

// The real runner.
Children& DefaultChildren();

}  // namespace platform

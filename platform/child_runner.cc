#include "platform/child_runner.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <span>

#include "platform/system_calls.h"

namespace platform {

namespace {

constexpr size_t kMostErrors = 65536;

// What the child does between fork and exec: system calls only, nothing that allocates or
// locks. `moves` are {child number, descriptor}, every descriptor above every child number.
[[noreturn]] void BecomeChild(pid_t parent, const std::vector<std::pair<int, int>>& moves,
                              int report, const char* program, char* const* argv,
                              char* const* envp) {
    // Killed with the thread that started it, whatever ends it; and not started at all when
    // that has already happened.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        ::_exit(127);
    ::signal(SIGPIPE, SIG_DFL);
    // Nothing of ours crosses the exec but what it was given (dup2 clears the mark on its
    // targets); `report` stays open until then.
    int failure = ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0 ? 0 : errno;
    for (const auto& [number, fd] : moves) {
        if (failure == 0 && ::dup2(fd, number) != number)
            failure = errno;
    }
    if (failure == 0) {
        ::execve(program, argv, envp);
        failure = errno;
    }
    [[maybe_unused]] const ssize_t n = ::write(report, &failure, sizeof failure);
    ::_exit(127);
}

}  // namespace

ChildOutcome Children::Run(const ChildRun& run) {
    // The runner's own descriptors are held as every other one is, closed by the real calls.
    SystemCalls& machine = DefaultSystemCalls();
    ChildOutcome outcome;
    int outPipe[2], errPipe[2], reportPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return outcome;
    OpenFd outRead(machine, outPipe[0]), outWrite(machine, outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        return outcome;
    OpenFd errRead(machine, errPipe[0]), errWrite(machine, errPipe[1]);
    if (::pipe2(reportPipe, O_CLOEXEC) != 0)
        return outcome;
    OpenFd reportRead(machine, reportPipe[0]), reportWrite(machine, reportPipe[1]);

    // Every descriptor the child gets is first copied above every number it is to have, so
    // that no dup2 in the child overwrites one still to be moved.
    std::vector<std::pair<int, int>> wanted = {{1, outWrite.get()}, {2, errWrite.get()}};
    OpenFd devNull(machine, ::open("/dev/null", O_RDONLY | O_CLOEXEC));
    wanted.push_back({0, devNull.get()});
    for (const auto& given : run.descriptors) {
        std::erase_if(wanted, [&](const auto& w) { return w.first == given.first; });
        wanted.push_back(given);
    }
    int highest = 2;
    for (const auto& w : wanted)
        highest = std::max(highest, w.first);
    std::vector<std::unique_ptr<OpenFd>> copies;
    std::vector<std::pair<int, int>> moves;
    for (const auto& [number, fd] : wanted) {
        copies.push_back(std::make_unique<OpenFd>(
            machine, fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, highest + 1)));
        if (copies.back()->get() < 0)
            return outcome;
        moves.push_back({number, copies.back()->get()});
    }
    for (const auto& m : moves)
        highest = std::max(highest, m.second);
    const int report = ::fcntl(reportWrite.get(), F_DUPFD_CLOEXEC, highest + 1);
    copies.push_back(std::make_unique<OpenFd>(machine, report));
    if (report < 0)
        return outcome;

    std::vector<QByteArray> argv = run.arguments;
    if (argv.empty())
        argv.push_back(run.program);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (QByteArray& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<QByteArray> env = run.environment;
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return outcome;
    if (pid == 0) {
        BecomeChild(parent, moves, report, run.program.constData(), args.data(), envp.data());
    }
    const OpenFd exited(machine, static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    copies.clear();
    outWrite.Reset();
    errWrite.Reset();
    reportWrite.Reset();

    auto signal = [&](int number) {
        if (exited.get() >= 0)
            ::syscall(SYS_pidfd_send_signal, exited.get(), number, nullptr, 0);
        else
            ::kill(pid, number);
    };
    // Waits for it on every way out; one still running (a deadline passed) is asked to end,
    // then made to.
    struct Reaper {
        pid_t pid = -1;
        const std::function<void(int)>& signal;
        ChildOutcome& outcome;
        bool running = true;
        ~Reaper() {
            int status = 0;
            int r = 0;
            if (running) {
                signal(SIGTERM);
                for (int i = 0; i < 100 && (r = ::waitpid(pid, &status, WNOHANG)) == 0; ++i)
                    ::usleep(10000);
                if (r != pid)
                    signal(SIGKILL);
            }
            while (r != pid && (r = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
            }
            // A program that could not be started ran nothing: its exit status says nothing.
            if (r != pid || outcome.end == ChildOutcome::End::kNotStarted)
                return;
            if (WIFEXITED(status))
                outcome.status = WEXITSTATUS(status);
            else if (outcome.end != ChildOutcome::End::kTimedOut)
                outcome.end = ChildOutcome::End::kSignalled;
        }
    };
    const std::function<void(int)> signalFn = signal;
    outcome.end = ChildOutcome::End::kExited;
    {
        Reaper reaper{pid, signalFn, outcome};
        int failure = 0;
        if (::read(reportRead.get(), &failure, sizeof failure) == sizeof failure) {
            outcome.end = ChildOutcome::End::kNotStarted;  // exec failed: nothing ran
            reaper.running = false;
            return outcome;
        }
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + run.deadline;
        char buffer[65536];
        // The child's end is watched too, not only its output.
        pollfd fds[3] = {
            {outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}, {exited.get(), POLLIN, 0}};
        while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
            if (Clock::now() >= until) {
                outcome.end = ChildOutcome::End::kTimedOut;
                return outcome;  // the reaper ends it
            }
            const int ready = ::poll(fds, 3, 100);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready > 0 && fds[2].fd >= 0 && fds[2].revents != 0)
                fds[2].fd = -1;
            for (pollfd& p : std::span(fds, 2)) {
                if (ready <= 0 || p.fd < 0 || p.revents == 0)
                    continue;
                const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    p.fd = -1;
                } else if (&p == &fds[0]) {
                    if (run.output)
                        run.output(buffer, static_cast<size_t>(n));
                } else if (static_cast<size_t>(outcome.errors.size()) < kMostErrors) {
                    outcome.errors.append(buffer, n);
                }
            }
        }
        reaper.running = fds[2].fd >= 0 && exited.get() >= 0;
    }
    return outcome;
}

Children& DefaultChildren() {
    static Children children;
    return children;
}

}  // namespace platform

// The programs the platform runs as children (mtools): their deadline, and their end with the
// program's.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QFile>
#include <chrono>
#include <thread>

#include "platform/child_runner.h"

namespace {

TEST(ChildrenTest, AChildEndsAtItsDeadlineAndNeverOutlivesTheProgram) {
    platform::ChildRun run;
    run.program = "/no/hay/tal/programa";
    EXPECT_EQ(platform::DefaultChildren().Run(run).end, platform::ChildOutcome::End::kNotStarted);
    run.program = "/bin/sleep";
    run.arguments = {"sleep", "30"};
    run.deadline = std::chrono::milliseconds(300);
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::DefaultChildren().Run(run).end, platform::ChildOutcome::End::kTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(5));

    // A program ended by SIGTERM while its child runs takes the child with it.
    const pid_t programa = ::fork();
    ASSERT_GE(programa, 0);
    if (programa == 0) {
        run.deadline = std::chrono::minutes(1);
        platform::DefaultChildren().Run(run);
        ::_exit(0);
    }
    QByteArray hijo;
    for (int i = 0; i < 200 && hijo.isEmpty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QFile f(QStringLiteral("/proc/%1/task/%1/children").arg(programa));
        if (f.open(QIODevice::ReadOnly))
            hijo = f.readAll().trimmed();
    }
    ASSERT_FALSE(hijo.isEmpty());
    ::kill(programa, SIGTERM);
    ::waitpid(programa, nullptr, 0);
    bool vivo = true;
    for (int i = 0; i < 200 && vivo; ++i) {
        QFile estado(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(hijo)));
        vivo = estado.open(QIODevice::ReadOnly) && !estado.readAll().contains(") Z ");
        if (vivo)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(vivo) << "sleep " << hijo.constData() << " sigue vivo";
}

}  // namespace

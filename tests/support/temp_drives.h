#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <map>

#include "platform/host.h"
#include "platform/system_calls.h"
#include "tests/support/fakes.h"

namespace qtltest {

// The system calls of the folder drives, each of which a test can make fail: `fault` is asked
// before each call and a non-zero errno it returns fails that call with it.
class FaultySystem : public platform::SystemCalls {
  public:
    enum class Op {
        kListFolder,
        kOpenSource,
        kOpenDestination,
        kRead,  // a read of the source or, while verifying, of the copy
        kWrite,
        kCopyRange,
        kSync,
        kClose,
        kVerify,  // opening the finished copy to read it back
    };
    std::function<int(Op)> fault;
    // Called with the bytes of each read, write and kernel copy before it is made: a slow
    // medium sleeps here.
    std::function<void(size_t)> pace;

    DIR* OpenFolder(const char* path) override;
    int OpenSource(const char* path) override;
    int CreateCopy(int folder, const char* name, mode_t mode) override;
    int OpenCopy(int folder, const char* name) override;
    ssize_t Read(int fd, void* buffer, size_t size, off_t offset) override;
    ssize_t Write(int fd, const void* buffer, size_t size) override;
    ssize_t CopyRange(int in, off_t offset, int out, size_t size) override;
    int Sync(int fd) override;
    int Close(int fd) override;

  private:
    bool Fails(Op op);
};

// A host of temporary drives: a temporary folder tree whose sub-folders are mapped to lettered
// drives, with the program placed in one of them. Its message boxes, pointer and processes are
// fakes, replaced for a while by TestServices.
class TempDrives : public platform::Host {
  public:
    // The tree is made in the system's temporary folder, or under `parent`.
    explicit TempDrives(const QString& parent = {});
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // The absolute Linux path of a path relative to the tree.
    QString Path(const QString& relative) const;
    // Creates a folder (and its parents).
    QString MakeFolder(const QString& relative) const;
    // Writes a file, creating its folders.
    void Write(const QString& relative, const QByteArray& bytes) const;
    QByteArray Read(const QString& relative) const;
    bool Exists(const QString& relative) const;

    // Maps drives: each entry "x:=folder[,kind]" with folder relative to the tree.
    void MapDrives(const QString& table);
    // Runs the program from a folder of the tree.
    void PlaceProgram(const QString& relative);

    platform::DriveTable Drives() override;
    QString ProgramFolder() override { return programFolder_; }
    platform::Dialogs& dialogs() override { return *dialogs_; }
    platform::Screen& screen() override { return *screen_; }
    platform::Processes& processes() override { return fakeProcesses; }

    // Hands out other message boxes and pointer (nullptr: the host's own again).
    void Use(platform::Dialogs* dialogs, platform::Screen* screen);

    FaultySystem system;
    // What the drives run between the chunks of a long copy.
    std::function<void()> keepAlive;
    FakeProcesses fakeProcesses{*this};
    ScriptedDialogs ownDialogs;
    FakeScreen ownScreen;

  private:
    QTemporaryDir dir_;
    QString table_;
    QString programFolder_;
    std::map<QChar, int> disks_;
    std::map<dev_t, size_t> paces_;
    platform::Dialogs* dialogs_ = &ownDialogs;
    platform::Screen* screen_ = &ownScreen;
};

// Fresh scripted boxes, pointer and generation window for a test, given to the host and to the
// shared services while it lives.
class TestServices {
  public:
    explicit TestServices(TempDrives& host);
    ~TestServices();
    TestServices(const TestServices&) = delete;
    TestServices& operator=(const TestServices&) = delete;

    ScriptedDialogs dialogs;
    FakeScreen screen;
    FakeWindow window;

  private:
    TempDrives& host_;
};

}  // namespace qtltest

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace qtltest {

// A temporary folder tree with lettered drives mapped onto its sub-folders through
// QTL99_DRIVES, and the program placed in one of them. Undone on destruction.
class TempDrives {
  public:
    TempDrives();
    ~TempDrives();
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
    void MapDrives(const QString& table) const;
    // Runs the program from a folder of the tree.
    void PlaceProgram(const QString& relative) const;

  private:
    QTemporaryDir dir_;
};

}  // namespace qtltest

#pragma once

#include <QByteArray>
#include <QString>

// A cue sheet as this program reads it before libcdio does.
namespace platform {

// What a cue sheet says of its .bin files: its text with the first FILE's name made `rename`
// (when given), that file, and the first one named that is not beside it.
struct CueFiles {
    QByteArray text;
    QString first;
    QString missing;
};

// Reads the sheet `cue`: its .bin files are looked for beside it, or, for a link to a sheet,
// beside the sheet it leads to.
CueFiles ReadCue(const QString& cue, const QString& rename);

// libcdio (2.1) keeps a table of 100 tracks that it indexes by the count of the sheet's TRACK
// lines, and by that count less the first track's number: more tracks, or a first that is not 1,
// and it writes outside the table. So the sheet it is to read is read first as it reads it
// (lines as fgets gives them, each up to a NUL, words apart by blanks): its tracks go 1, 2, 3...
bool TracksInOrder(const QByteArray& sheet);

}  // namespace platform

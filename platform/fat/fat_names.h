#pragma once

#include <QByteArray>
#include <QString>

// What a FAT floppy can call a file, known once: for the copies onto a floppy and for the
// checks of a CD's lists before anything is written.
namespace platform {

// True when the floppy's code page (850, that of the short names a disk is read by) has the
// character: mtools stores any other one as something else ("€uro.txt" as "euru.txt").
bool InFloppyCodePage(char32_t c);

// What keeps a FAT floppy from holding a file name, looked at in this order.
enum class FatNameFault {
    kNone,
    kEmpty,          // nothing is left once trailing blanks and dots are dropped
    kTooLong,        // more than 255 characters: no long name holds it
    kControl,        // a control character, DEL included
    kReserved,       // a character FAT refuses: " * / : < > ? \ |
    kNotInCodePage,  // not in the floppy's code page: mtools would store another character
    kDeviceName,     // a DOS device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9), any extension
};
struct FatNameCheck {
    FatNameFault fault = FatNameFault::kNone;
    QString name;  // the name as FAT keeps it: trailing blanks and dots dropped
    QString what;  // the character at fault, or the device name in capitals
};
// The one rule of FAT names.
FatNameCheck CheckFatName(const QString& name);

// The name as FAT keeps it. Raises 75 for a name left empty and 52 (kNameFatCannotHold) for
// any other fault of CheckFatName.
QString FatName(const QString& given);

// The most entries of a root folder that a file of the FAT name `name` takes: its long name in
// pieces of 13 and its short entry (a name that is a short name takes one).
int MostRootEntries(const QString& name);

// A name mtools reads as a pattern (the source of a copy, a deletion): its wildcards escaped,
// so that "a[1].txt" names itself and not "a1.txt".
QByteArray MtoolsPattern(const QString& name);
// A name mtools writes as it is.
QByteArray MtoolsTarget(const QString& name);

}  // namespace platform

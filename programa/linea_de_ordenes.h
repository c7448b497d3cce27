#pragma once

#include <QString>
#include <optional>

// QTL99 without windows: the disk set written as images, and the check of a CD's settings.
namespace programa {

// True when the arguments ask for the command line: any argument but the window toolkit's own
// (-platform, -style, ...), which leave the windowed program as it always was, and but a CD
// alone ("--cd X", or "X" as the desktop hands a file), which the windows open.
bool PideLineaDeOrdenes(int argc, char** argv);

// The CD the windows open, absolute, when the arguments give one alone; nothing otherwise.
std::optional<QString> CdDeLasVentanas(int argc, char** argv);

// Runs the command line and returns the exit status: 0 done, 1 failed, 2 wrong usage.
int LineaDeOrdenes(int argc, char** argv);

}  // namespace programa

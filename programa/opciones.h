#pragma once

#include <QString>
#include <optional>

// The command line's options, and which of the program's entries the arguments ask for.
namespace programa {

struct Opciones {
    std::optional<QString> imagenes;
    std::optional<QString> cd;
    bool comprobar = false;
    bool json = false;
};

// Reads the options GNU-style (long options, their unambiguous beginnings, "--cd=X") into `o`;
// the status to end with when they do not make a command (the usage or the help said, 2 or 0),
// nothing when they do.
std::optional<int> LeerOpciones(int argc, char** argv, Opciones& o);

// The CD of "--cd X", "--cd=X" or a lone "X" (as the desktop hands a file), as given, when the
// arguments (but the window toolkit's own) are only that.
std::optional<QString> SoloUnCd(int argc, char** argv);

// True when the arguments ask for the command line: any argument but the window toolkit's own
// (-platform, -style, ...), which leave the windowed program as it always was, and but a CD
// alone that is a folder or a file, which the windows open.
bool PideLineaDeOrdenes(int argc, char** argv);

// The CD the windows open, absolute, when the arguments give one alone; nothing otherwise.
std::optional<QString> CdDeLasVentanas(int argc, char** argv);

}  // namespace programa

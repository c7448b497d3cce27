#pragma once

#include <QString>
#include <cstdio>

// How the command line writes to its terminal, its pipes and its files.
namespace programa {

// Writes `texto` after the terminal's own `control` sequence; a control character in the text
// (a CD's file name may carry an escape sequence) is shown as \xNN, never sent to the terminal
// raw. False when the write failed: a full or closed output, a pipe whose reader has gone.
bool Escribir(FILE* salida, const QString& texto, const char* control = "");

// "QTL99: texto" on standard error, a line of its own.
void Decir(const QString& texto);

}  // namespace programa

#pragma once

// QTL99 without windows: the disk set written as images, and the check of a CD's settings.
namespace programa {

// Runs the command line and returns the exit status: 0 done, 1 failed, 2 wrong usage.
int LineaDeOrdenes(int argc, char** argv);

}  // namespace programa

#pragma once

#include <QString>

namespace platform {

// The Linux folder that holds the running program (the folder of /proc/self/exe).
QString ProgramFolder();

// Places the program in another folder, for tests and benchmarks that stand in for a CD.
// An empty text returns to the real folder.
void OverrideProgramFolder(const QString& linuxFolder);

// App.Path: the program folder in drive form, without a trailing backslash except at a drive
// root ("d:\INSTALA", "d:\"). When the folder lies on no drive, a line on standard error says
// so (once) and the Linux folder comes back with backslashes and no drive, so that every
// lookup of the settings file then gives its default.
QString AppPath();

}  // namespace platform

#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// A command line split as the original platform splits it.
struct CommandLine {
    QString program;
    QStringList arguments;
};

// The program is the first part: up to the closing quote when it starts with a double quote
// (blanks inside kept), else up to the first blank; its trailing blanks are dropped. The rest
// splits at blanks outside double quotes, the quotes removed.
CommandLine SplitCommandLine(const QString& commandLine);

// Starting programs and ending this one.
class Processes {
  public:
    virtual ~Processes() = default;
    // Shell(commandLine, windowStyle): starts the program detached, with no shell in between
    // (nothing in the line is interpreted by /bin/sh), and returns at once. The program path
    // and every argument that is a drive path ("e:\GUIA\Playlist.lst") become Linux paths.
    // Raises 68 when the program's drive is not in the table, 71 when it is not ready, 76 when
    // its folder does not exist, 53 when the file does not exist, 70 when it cannot be run.
    virtual void Shell(const QString& commandLine, int windowStyle) = 0;
    // End: stops the program at once; no further event code runs. The exit status is 0 for the
    // program's own End, another for an internal error that ends it.
    virtual void End(int status) = 0;
};

}  // namespace platform

#pragma once

#include <QByteArray>
#include <QString>

// Private-profile (INI) lookup with the results the program relies on.
namespace platform {

// Settings-file bytes as text: UTF-16 (little or big endian) when they start with its
// byte-order mark; otherwise UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark
// is skipped), otherwise Windows-1252.
QString DecodeProfileText(const QByteArray& bytes);

// Looks `key` up in `section` of the decoded file `text` and fills `buffer`, whose first `size`
// characters are the caller's, ending what it writes with a NUL. Nothing outside those
// characters (and outside `buffer`) is ever written; a size of 0 writes nothing. Returns the
// number of characters written before that NUL:
// - section or key missing: the default, cut to size - 1;
// - otherwise the value after the first "=", blanks and tabs around it removed, one pair of
//   matching double or single quotes removed, cut to size - 1 (an empty value is kept);
// - key == nullptr: the section's key names in file order, each followed by a NUL; a list that
//   does not fit is cut and size - 2 comes back (0 for a size of 1 or 2).
// CR LF, LF and a lone CR each end a line. Section and key names are compared without regard to
// case; ";" starts a comment line; a NUL in a line ends that line's text. Never fails.
int ProfileLookup(const QString& text, const QString& section, const QString* key,
                  const QString& defaultText, QString& buffer, int size);

}  // namespace platform

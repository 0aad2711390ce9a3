#pragma once

#include "shell/ConfigRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Parameter sets as text, one "name = value" line per field of the .QMX file, for keeping in
// version control and reviewing: the lines qmxcli export writes and the lines show prints.
namespace ParameterText {

// Larger text files are refused unread: a parameter set is a few kilobytes.
inline constexpr qint64 kMaxTextSize = qint64(1) << 20;
// Errors, and warnings, listed one by one; the rest are counted.
inline constexpr int kShownErrors = 20;

// The record as text. header: comment lines to put first (without the "# "); line breaks and
// other control characters in them are shown escaped, so they never add a line. Every value
// the file can hold is written so that Import gives it back unchanged.
QString Export(const ConfigRecord& record, const QStringList& header);

struct Imported {
    ConfigRecord record;     // the base's values where the text gives none
    QStringList missing;     // the fields the text did not give
    QStringList errors;      // "line 7: ..." each; the record is not to be used when there are any
    int unshownErrors = 0;   // errors beyond kShownErrors, counted only
    QStringList warnings;    // "line 7: ...": values kept although the window would not take them
    int unshownWarnings = 0; // warnings beyond kShownErrors, counted only
};

// Reads such text: names in any order, comments from a "#" at the start of a line or after a
// blank, blank lines, CR, LF or CR LF line ends, units after values, and the header lines show
// prints. An unknown name, a name given twice, or a value that is no whole number of ASCII
// digits (leading zeros allowed; or True/False for a Boolean) or does not fit the field's width
// is an error; so is a "#" inside a value ("12#34"). A value outside the window's own ranges is
// kept with a warning, as a .QMX file may hold it.
Imported Import(const QString& text, const ConfigRecord& base = FactoryDefaults());

// Bytes read from a text file as text; an error text when they are not UTF-8 or hold a NUL.
std::optional<QString> DecodeText(const QByteArray& bytes, QString& error);

// Text from a file or a controller, safe to print: control characters escaped ("\n",
// "\x1b"), and cut to maxLength characters.
QString Printable(QStringView text, qsizetype maxLength = 60);

} // namespace ParameterText

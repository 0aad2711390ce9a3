#pragma once

#include "shell/ConfigRecord.h"

#include <QString>
#include <QStringList>

// Parameter sets as text, one "name = value" line per field of the .QMX file, for keeping in
// version control and reviewing: the lines qmxcli export writes and the lines show prints.
namespace ParameterText {

// The record as text. header: comment lines to put first (without the "# ").
QString Export(const ConfigRecord& record, const QStringList& header);

struct Imported {
    ConfigRecord record; // factory values where the text gives none
    QStringList missing; // the fields the text did not give
    QStringList errors;  // "line 7: ..." each; the record is not to be used when there are any
};

// Reads such text: names in any order, "#" comments, blank lines, units after values, and the
// header lines show prints. An unknown name, a name given twice, a value that is no value of
// its field, does not fit its width or lies outside the window's own ranges is an error.
Imported Import(const QString& text);

} // namespace ParameterText

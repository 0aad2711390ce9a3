// Any text as a parameter file for qmxcli import. Properties: every error and warning names a
// line of the text, at most kShownErrors of each are listed and the rest counted, and what
// imports exports and imports again to the same record, with every field given and no error.

#include "files/ParameterText.h"
#include "shell/RecordFields.h"

#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_text_import: %s\n", what);
    std::abort();
}

void CheckErrorsNameLines(const QStringList& errors, qsizetype lines) {
    static const QRegularExpression line(QStringLiteral("^line (\\d+): "));
    for (const QString& error : errors) {
        const QRegularExpressionMatch match = line.match(error);
        const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (number < 1 || number > lines)
            Fail("an error names no line of the text");
    }
}

void CheckImported(const ConfigRecord& record, const QString& text) {
    // The text itself as the export's header must not add a line to it.
    const ParameterText::Imported again =
        ParameterText::Import(ParameterText::Export(record, {text.left(200)}));
    if (!again.errors.isEmpty() || !again.missing.isEmpty())
        Fail("an export does not import again whole");
    if (!(again.record == record))
        Fail("export and import changed a value");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParameterText::Imported imported = ParameterText::Import(text);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const qsizetype lines = text.split(lineEnd).size();
    CheckErrorsNameLines(imported.errors, lines);
    CheckErrorsNameLines(imported.warnings, lines);
    if (imported.errors.size() > ParameterText::kShownErrors ||
        imported.warnings.size() > ParameterText::kShownErrors)
        Fail("more errors or warnings listed than kShownErrors");
    if ((imported.unshownErrors > 0 && imported.errors.size() < ParameterText::kShownErrors) ||
        (imported.unshownWarnings > 0 && imported.warnings.size() < ParameterText::kShownErrors))
        Fail("messages counted while fewer than kShownErrors were listed");
    if (imported.errors.isEmpty())
        CheckImported(imported.record, text);
    return 0;
}

// Any text as a parameter file for qmxcli import. Properties: every error names a line of the
// text; text that imports gives values within the window's ranges (Booleans aside), and its
// export imports again to the same record, with every field given and no error.

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

void CheckImported(const ConfigRecord& record) {
    for (const RecordField* field : RecordFields::FileFields())
        if (field->type != FieldType::Boolean && !RecordFields::InRange(*field, field->get(record)))
            Fail("an imported value lies outside its range");
    const ParameterText::Imported again =
        ParameterText::Import(ParameterText::Export(record, {QStringLiteral("again")}));
    if (!again.errors.isEmpty() || !again.missing.isEmpty())
        Fail("an export does not import again whole");
    if (!(again.record == record))
        Fail("export and import changed a value");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParameterText::Imported imported = ParameterText::Import(text);
    CheckErrorsNameLines(imported.errors, text.split(u'\n').size());
    if (imported.errors.isEmpty())
        CheckImported(imported.record);
    return 0;
}

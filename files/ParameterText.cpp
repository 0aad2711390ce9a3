#include "files/ParameterText.h"

#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <QHash>

#include <cmath>

namespace ParameterText {

namespace {

using RecordFields::Name;

// Header lines of show, taken as they are and not imported.
const QStringList kHeaderNames{"created", "updated", "version", "serial number"};

// Booleans the window writes read True and False; any other value is kept as a number, so
// that a file's bytes survive the round trip.
QString ValueText(const RecordField& field, double value) {
    if (field.type == FieldType::Boolean && (value == kTrue || value == kFalse))
        return RecordFields::ShowBare(field, value);
    return Numbers::ShowNumber(qint64(value));
}

QString RangeText(const RecordField& field) {
    const bool own = !std::isnan(field.min);
    return QStringLiteral("%1..%2")
        .arg(Numbers::ShowNumber(qint64(own ? field.min : RecordFields::WidthMin(field.type))))
        .arg(Numbers::ShowNumber(qint64(own ? field.max : RecordFields::WidthMax(field.type))));
}

// The value written after "=": a whole number (or True/False for a Boolean), optionally
// followed by the field's unit. An error text when it is not one.
std::optional<double> ParseValue(const RecordField& field, QString text, QString& error) {
    const QString unit = QLatin1String(field.unit.data(), qsizetype(field.unit.size()));
    if (!unit.isEmpty() && text.endsWith(unit))
        text = text.chopped(unit.size()).trimmed();
    if (field.type == FieldType::Boolean) {
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return double(kTrue);
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return double(kFalse);
    }
    const std::optional<double> number = Numbers::ParseEntry(text);
    if (!number || *number != std::trunc(*number)) {
        error = QStringLiteral("\"%1\" is no value of %2").arg(text, Name(field));
        return std::nullopt;
    }
    if (*number < RecordFields::WidthMin(field.type) ||
        *number > RecordFields::WidthMax(field.type)) {
        error = QStringLiteral("%1 = %2 does not fit the field").arg(Name(field), text);
        return std::nullopt;
    }
    if (field.type != FieldType::Boolean && !RecordFields::InRange(field, *number)) {
        error = QStringLiteral("%1 = %2 is outside %3").arg(Name(field), text, RangeText(field));
        return std::nullopt;
    }
    return *number;
}

struct Reader {
    Imported result{FactoryDefaults(), {}, {}};
    QHash<QString, int> givenOn; // field name -> its line

    void Line(int number, QString line);
    void CheckPairs();
    void Fail(int line, const QString& why) {
        result.errors << QStringLiteral("line %1: %2").arg(line).arg(why);
    }
};

void Reader::Line(int number, QString line) {
    line = line.section(u'#', 0, 0).trimmed();
    if (line.isEmpty())
        return;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return Fail(number, QStringLiteral("expected \"name = value\""));
    const QString name = line.left(eq).trimmed();
    if (kHeaderNames.contains(name))
        return;
    const RecordField* field = RecordFields::Named(name);
    if (!field || field->fileOffset < 0)
        return Fail(number, QStringLiteral("unknown parameter \"%1\"").arg(name));
    if (givenOn.contains(name))
        return Fail(
            number,
            QStringLiteral("%1 given again (first on line %2)").arg(name).arg(givenOn[name]));
    givenOn.insert(name, number);
    QString error;
    if (const auto value = ParseValue(*field, line.mid(eq + 1).trimmed(), error))
        field->set(result.record, *value);
    else
        Fail(number, error);
}

// What the window keeps across fields: S <= F in each speed group, stop <= run current.
void Reader::CheckPairs() {
    constexpr std::pair<int, int> kPairs[] = {{Field("defaultSpeedMin"), Field("defaultSpeedMax")},
                                              {Field("originSpeedMin"), Field("originSpeedMax")},
                                              {Field("jogSpeedMin"), Field("jogSpeedMax")},
                                              {Field("stopCurrent"), Field("runCurrent")}};
    for (const auto& [low, high] : kPairs) {
        const RecordField& lower = RecordFields::Row(low);
        const RecordField& upper = RecordFields::Row(high);
        if (lower.get(result.record) <= upper.get(result.record))
            continue;
        const int line = std::max(givenOn.value(Name(lower)), givenOn.value(Name(upper)));
        Fail(line, QStringLiteral("%1 is above %2").arg(Name(lower), Name(upper)));
    }
}

} // namespace

QString Export(const ConfigRecord& record, const QStringList& header) {
    QString text;
    for (const QString& line : header)
        text += QStringLiteral("# ") + line + u'\n';
    for (const RecordField* field : RecordFields::FileFields()) {
        QString line = Name(*field) + QStringLiteral(" = ") + ValueText(*field, field->get(record));
        if (!field->unit.empty())
            line = line.leftJustified(40) + QStringLiteral("# ") +
                   QLatin1String(field->unit.data(), qsizetype(field->unit.size()));
        text += line + u'\n';
    }
    return text;
}

Imported Import(const QString& text) {
    Reader reader;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i)
        reader.Line(i + 1, lines[i]);
    if (reader.result.errors.isEmpty())
        reader.CheckPairs();
    for (const RecordField* field : RecordFields::FileFields())
        if (!reader.givenOn.contains(Name(*field)))
            reader.result.missing << Name(*field);
    return reader.result;
}

} // namespace ParameterText

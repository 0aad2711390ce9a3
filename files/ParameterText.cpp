#include "files/ParameterText.h"

#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace ParameterText {

namespace {

using RecordFields::Name;

// Header lines of show, taken as they are and not imported.
constexpr std::array<QLatin1String, 4> kHeaderNames{
    QLatin1String("created"), QLatin1String("updated"), QLatin1String("version"),
    QLatin1String("serial number")};

bool IsHeaderName(const QString& name) {
    return std::find(kHeaderNames.begin(), kHeaderNames.end(), name) != kHeaderNames.end();
}

// A Boolean the window did not write (1, 2, -32768...) keeps its stored value in the text.
QRegularExpressionMatch MatchStoredAs(const QString& text) {
    const QRegularExpression storedAs(QStringLiteral("^True *\\(stored as ([^)]*)\\)$"),
                                      QRegularExpression::CaseInsensitiveOption);
    return storedAs.match(text);
}

QString ValueText(const RecordField& field, double value) {
    if (field.type != FieldType::Boolean || value == kTrue || value == kFalse)
        return field.type == FieldType::Boolean ? RecordFields::ShowBare(field, value)
                                                : Numbers::ShowNumber(qint64(value));
    return QStringLiteral("True (stored as %1)").arg(Numbers::ShowNumber(qint64(value)));
}

QString RangeText(double min, double max) {
    return QStringLiteral("%1..%2").arg(Numbers::ShowNumber(qint64(min)),
                                        Numbers::ShowNumber(qint64(max)));
}

QString WidthText(const RecordField& field) {
    return RangeText(RecordFields::WidthMin(field.type), RecordFields::WidthMax(field.type));
}

// A whole number as a person types it: blanks around it, one sign (the full-width and minus
// sign forms the window takes too), then ASCII digits only. Twelve digits (after leading zeros)
// are more than any field holds, so longer ones are returned as too large rather than
// overflowing.
std::optional<double> WholeNumber(QStringView text) {
    text = text.trimmed();
    double sign = 1;
    if (!text.isEmpty() && QStringView(u"+-\u2212\uFF0B\uFF0D").contains(text.front())) {
        sign = text.front() == u'+' || text.front() == u'\uFF0B' ? 1 : -1;
        text = text.mid(1).trimmed();
    }
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    while (text.size() > 1 && text.front() == u'0') // 0400 is 400
        text = text.mid(1);
    return sign * (text.size() > 12 ? 1e12 : text.toDouble());
}

struct Reader {
    Imported result;
    QHash<QString, int> givenOn; // field name -> its line

    void Line(int number, QStringView line);
    std::optional<double> Value(int line, const RecordField& field, QString text);
    std::optional<double> Boolean(int line, const RecordField& field, const QString& text);
    bool Fits(int line, const RecordField& field, double number, const QString& text);
    void CheckPairs();
    void Fail(int line, const QString& why) {
        if (result.errors.size() >= kShownErrors)
            ++result.unshownErrors;
        else
            result.errors << QStringLiteral("line %1: %2").arg(line).arg(why);
    }
    void Warn(int line, const QString& why) {
        if (result.warnings.size() >= kShownErrors)
            ++result.unshownWarnings;
        else
            result.warnings << QStringLiteral("line %1: %2").arg(line).arg(why);
    }
};

// True, False, "True (stored as N)", or a number: 0 is False, any other True (-1).
std::optional<double> Reader::Boolean(int line, const RecordField& field, const QString& text) {
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return double(kTrue);
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return double(kFalse);
    const QRegularExpressionMatch stored = MatchStoredAs(text);
    const std::optional<double> number = WholeNumber(stored.hasMatch() ? stored.captured(1) : text);
    if (!number || (stored.hasMatch() && *number == 0)) {
        Fail(line, QStringLiteral("\"%1\" is no value of %2 (True or False)")
                       .arg(Printable(text, 40), Name(field)));
        return std::nullopt;
    }
    if (!Fits(line, field, *number, text))
        return std::nullopt;
    if (stored.hasMatch() || *number == kTrue || *number == kFalse)
        return *number;
    Warn(line, QStringLiteral("%1 = %2 taken as True").arg(Name(field), Printable(text, 40)));
    return double(kTrue);
}

// The number fits the field's type; an error otherwise.
bool Reader::Fits(int line, const RecordField& field, double number, const QString& text) {
    if (number >= RecordFields::WidthMin(field.type) &&
        number <= RecordFields::WidthMax(field.type))
        return true;
    Fail(line, QStringLiteral("%1 = %2 does not fit the field (%3)")
                   .arg(Name(field), Printable(text, 40), WidthText(field)));
    return false;
}

// The value written after "=", optionally followed by the field's unit.
std::optional<double> Reader::Value(int line, const RecordField& field, QString text) {
    const QString unit = QLatin1String(field.unit.data(), qsizetype(field.unit.size()));
    if (!unit.isEmpty() && text.endsWith(unit))
        text = text.chopped(unit.size()).trimmed();
    if (field.type == FieldType::Boolean)
        return Boolean(line, field, text);
    const std::optional<double> number = WholeNumber(text);
    if (!number) {
        Fail(line, QStringLiteral("\"%1\" is no value of %2 (a whole number)")
                       .arg(Printable(text, 40), Name(field)));
        return std::nullopt;
    }
    if (!Fits(line, field, *number, text))
        return std::nullopt;
    if (!RecordFields::InRange(field, *number))
        Warn(line, QStringLiteral("%1 = %2 is outside the window's range %3; kept as given")
                       .arg(Name(field), Printable(text, 40), RangeText(field.min, field.max)));
    return *number;
}

// Where a comment begins: a "#" first on the line or after a blank; -1 when there is none.
qsizetype CommentStart(QStringView line) {
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line[i] == u'#' && (i == 0 || line[i - 1].isSpace()))
            return i;
    return -1;
}

void Reader::Line(int number, QStringView line) {
    line = line.left(CommentStart(line)).trimmed();
    if (line.isEmpty())
        return;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return Fail(number, QStringLiteral("expected \"name = value\""));
    const QString name = line.left(eq).trimmed().toString();
    if (IsHeaderName(name))
        return;
    const RecordField* field = RecordFields::Named(name);
    if (!field || field->fileOffset < 0)
        return Fail(number, QStringLiteral("unknown parameter \"%1\"").arg(Printable(name, 40)));
    if (givenOn.contains(name))
        return Fail(
            number,
            QStringLiteral("%1 given again (first on line %2)").arg(name).arg(givenOn[name]));
    givenOn.insert(name, number);
    if (const auto value = Value(number, *field, line.mid(eq + 1).trimmed().toString()))
        field->set(result.record, *value);
}

// What the window keeps across fields: S <= F in each speed group, stop <= run current. A file
// may hold them otherwise, so they are warnings.
void Reader::CheckPairs() {
    for (const auto& [low, high] : kOrderedPairs) {
        const RecordField& lower = RecordFields::Row(low);
        const RecordField& upper = RecordFields::Row(high);
        if (lower.get(result.record) <= upper.get(result.record))
            continue;
        const int line = std::max(givenOn.value(Name(lower)), givenOn.value(Name(upper)));
        Warn(line, QStringLiteral("%1 is above %2; kept as given").arg(Name(lower), Name(upper)));
    }
}

} // namespace

QString Printable(QStringView text, qsizetype maxLength) {
    QString shown;
    for (const QChar c : text) {
        if (shown.size() >= maxLength) {
            if (shown.back().isHighSurrogate()) // never half a character
                shown.chop(1);
            return shown + QStringLiteral("...");
        }
        const char16_t code = c.unicode();
        if (code == u'\n')
            shown += QStringLiteral("\\n");
        else if (code == u'\r')
            shown += QStringLiteral("\\r");
        else if (code == u'\t')
            shown += QStringLiteral("\\t");
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0) || code == 0x2028 || code == 0x2029)
            shown += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

std::optional<QString> DecodeText(const QByteArray& bytes, QString& error) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        error = QStringLiteral("not UTF-8 text (save it as UTF-8)");
        return std::nullopt;
    }
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        error = QStringLiteral("a NUL byte on line %1: not a text file")
                    .arg(bytes.left(nul).count('\n') + 1);
        return std::nullopt;
    }
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    return text;
}

QString Export(const ConfigRecord& record, const QStringList& header) {
    QString text;
    for (const QString& line : header)
        text += QStringLiteral("# ") + Printable(line, 200) + u'\n';
    for (const RecordField* field : RecordFields::FileFields()) {
        QString line = Name(*field) + QStringLiteral(" = ") + ValueText(*field, field->get(record));
        if (!field->unit.empty())
            line = line.leftJustified(40) + QStringLiteral("# ") +
                   QLatin1String(field->unit.data(), qsizetype(field->unit.size()));
        text += line + u'\n';
    }
    return text;
}

Imported Import(const QString& text, const ConfigRecord& base) {
    Reader reader;
    reader.result.record = base;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
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

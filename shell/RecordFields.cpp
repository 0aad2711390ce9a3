#include "shell/RecordFields.h"

#include "shell/Numbers.h"

#include <cmath>

namespace RecordFields {

const RecordField* Named(QStringView name) {
    for (const RecordField& field : kRecordFields)
        if (name == QLatin1String(field.name.data(), qsizetype(field.name.size())))
            return &field;
    return nullptr;
}

QString Name(const RecordField& field) {
    return QString::fromLatin1(field.name.data(), qsizetype(field.name.size()));
}

std::span<const RecordField* const> FileFields() {
    return kFileFields;
}

double WidthMin(FieldType type) {
    switch (type) {
    case FieldType::Long:
        return std::numeric_limits<qint32>::min();
    case FieldType::Integer:
    case FieldType::Boolean:
        return std::numeric_limits<qint16>::min();
    case FieldType::Real:
        break;
    }
    return -std::numeric_limits<double>::max();
}

double WidthMax(FieldType type) {
    switch (type) {
    case FieldType::Long:
        return std::numeric_limits<qint32>::max();
    case FieldType::Integer:
    case FieldType::Boolean:
        return std::numeric_limits<qint16>::max();
    case FieldType::Real:
        break;
    }
    return std::numeric_limits<double>::max();
}

bool InRange(const RecordField& field, double value) {
    const bool own = !std::isnan(field.min);
    return value >= (own ? field.min : WidthMin(field.type)) &&
           value <= (own ? field.max : WidthMax(field.type));
}

bool OrderKept(const ConfigRecord& record, int field) {
    for (const OrderedPair& pair : kOrderedPairs)
        if ((pair.low == field || pair.high == field) &&
            Row(pair.low).get(record) > Row(pair.high).get(record))
            return false;
    return true;
}

QString ShowBare(const RecordField& field, double value) {
    switch (field.type) {
    case FieldType::Boolean:
        return value != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Real:
        return QString::number(value);
    case FieldType::Long:
    case FieldType::Integer:
        break;
    }
    return Numbers::ShowNumber(qint64(value));
}

QString ShowValue(const RecordField& field, const ConfigRecord& record) {
    QString text = ShowBare(field, field.get(record));
    if (!field.unit.empty())
        text += u' ' + QLatin1String(field.unit.data(), qsizetype(field.unit.size()));
    return text;
}

bool SameMeaning(const RecordField& field, double a, double b) {
    return field.type == FieldType::Boolean ? (a != 0) == (b != 0) : a == b;
}

bool SameMeaning(const ConfigRecord& a, const ConfigRecord& b) {
    for (const RecordField& field : kRecordFields)
        if (!SameMeaning(field, field.get(a), field.get(b)))
            return false;
    return true;
}

} // namespace RecordFields

#include "shell/Numbers.h"

#include <cmath>
#include <limits>

namespace Numbers {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Length of the number at the start of text, 0 when there is none.
qsizetype LeadingNumberLength(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype intStart = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    qsizetype digits = i - intStart;
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        if (digits > 0 || j > i + 1) {
            digits += j - i - 1;
            i = j;
        }
    }
    return digits > 0 ? i : 0;
}

template <typename T> std::optional<T> Fit(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = RoundHalfEven(value);
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(r);
}

} // namespace

double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

double ReadNumber(QStringView text) {
    const qsizetype n = LeadingNumberLength(text);
    if (n == 0)
        return 0.0;
    bool ok = false;
    const double value = text.first(n).toDouble(&ok);
    return ok ? value : 0.0;
}

bool IsNumber(QStringView text) {
    const qsizetype n = LeadingNumberLength(text);
    return n > 0 && n == text.size();
}

std::optional<double> ExactNumber(QStringView text) {
    if (!IsNumber(text))
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> ParseEntry(QStringView text) {
    // An input method in full-width mode types "１２００" and "－５００": compatibility
    // normalisation gives their ASCII forms. The minus sign U+2212 counts as "-" too.
    QString ascii = text.toString().normalized(QString::NormalizationForm_KC);
    ascii.replace(QChar(0x2212), u'-');
    const QStringView trimmed = QStringView(ascii).trimmed();
    const qsizetype n = LeadingNumberLength(trimmed);
    if (n == 0 || n != trimmed.size())
        return std::nullopt;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint16> ToInteger(double value) {
    return Fit<qint16>(value);
}
std::optional<qint32> ToLong(double value) {
    return Fit<qint32>(value);
}

QString ShowNumber(qint64 value) {
    return QString::number(value);
}

std::optional<qint16> CurrentFromController(double controllerValue, qint16 currentScale) {
    return ToInteger(RoundHalfEven(controllerValue * currentScale) / 1000.0);
}

std::optional<qint32> CurrentToController(qint16 milliamperes, qint16 currentScale) {
    if (currentScale == 0)
        return std::nullopt;
    return ToLong(milliamperes * 1000.0 / currentScale);
}

std::optional<qint16> CtFromController(double controllerValue, double ctScale) {
    return ToInteger(ctScale * controllerValue);
}

std::optional<qint32> CtToController(qint16 ctValue, double ctScale) {
    if (ctScale == 0.0 || !std::isfinite(ctScale))
        return std::nullopt;
    return ToLong(ctValue / ctScale);
}

} // namespace Numbers

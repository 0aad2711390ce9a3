// Reading numbers out of text, any text read as UTF-8 and as UTF-16. Each value returned is
// finite; ReadNumber agrees with an independent reader on the leading number; an entry is
// accepted exactly when, trimmed (and folded to its compatibility forms, so full-width digits
// count), it is one number that ReadNumber reads whole, to the same value.

#include "shell/Numbers.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

void Check(bool holds, const char* what) {
    if (holds)
        return;
    std::fprintf(stderr, "fuzz_numeric_entry: %s\n", what);
    std::abort();
}

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Length of the leading [+-]digits[.digits] of the text (at least one digit), else 0.
qsizetype NumberLength(const QString& text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    for (; i < text.size() && IsAsciiDigit(text[i]); ++i)
        ++digits;
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        for (; j < text.size() && IsAsciiDigit(text[j]); ++j)
            ++digits;
        if (digits > 0)
            i = j;
    }
    return digits > 0 ? i : 0;
}

// The value of a number of that form, by the standard library; none beyond a double's range.
std::optional<double> Value(const QString& number) {
    QByteArray text = number.toLatin1();
    const bool negative = text.startsWith('-');
    if (text.startsWith('+') || negative)
        text.remove(0, 1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.constData(), text.constData() + text.size(),
                                              value, std::chars_format::fixed);
    if (error != std::errc() || end != text.constData() + text.size())
        return std::nullopt;
    return negative ? -value : value;
}

void CheckReadNumber(const QString& text) {
    const double read = Numbers::ReadNumber(text);
    Check(std::isfinite(read), "ReadNumber returned a value that is not finite");
    const qsizetype n = NumberLength(text);
    const std::optional<double> expected = n > 0 ? Value(text.first(n)) : 0.0;
    if (expected)
        Check(read == *expected, "ReadNumber differs from the standard library's reading");
}

void CheckParseEntry(const QString& text) {
    const std::optional<double> entry = Numbers::ParseEntry(text);
    const QString trimmed = text.trimmed();
    if (entry) {
        Check(std::isfinite(*entry), "ParseEntry returned a value that is not finite");
        // Full-width forms and the minus sign U+2212 count as their ASCII forms.
        const QString folded =
            text.normalized(QString::NormalizationForm_KC).replace(QChar(0x2212), u'-').trimmed();
        Check(NumberLength(folded) == folded.size(), "ParseEntry took more than one number");
        Check(Numbers::ReadNumber(folded) == *entry, "ParseEntry and ReadNumber disagree");
    } else if (!trimmed.isEmpty() && NumberLength(trimmed) == trimmed.size()) {
        Check(!Value(trimmed), "ParseEntry refused a plain number");
    }
}

void CheckText(const QString& text) {
    CheckReadNumber(text);
    CheckParseEntry(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckText(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    std::u16string utf16(size / 2, u'\0');
    std::memcpy(utf16.data(), data, utf16.size() * sizeof(char16_t));
    CheckText(QString::fromStdU16String(utf16));
    return 0;
}

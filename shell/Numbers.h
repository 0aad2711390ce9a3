#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// Number helpers used throughout the program: one rounding rule (half to even), one way of
// reading a number out of text and one way of showing it.
namespace Numbers {

// Nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// The leading decimal number of the text (optional sign, digits, optional fraction);
// 0 when the text does not begin with a number. Used for controller replies and options.
double ReadNumber(QStringView text);
// The whole text is one such number: optional sign, digits, optional fraction.
bool IsNumber(QStringView text);
// The value of a text that is one such number, when it is finite: none for anything else, and
// for digits too many to be a number at all.
std::optional<double> ExactNumber(QStringView text);

// A whole entry typed by the operator: blanks around it are ignored, everything else must be
// one decimal number; full-width digits, signs, point and blanks count as their ASCII forms.
// Empty or malformed text gives no value.
std::optional<double> ParseEntry(QStringView text);

// Rounds half to even and checks that the result fits the field's width.
std::optional<qint16> ToInteger(double value);
std::optional<qint32> ToLong(double value);

// Plain decimal, no grouping, "0" for zero, a leading "-" for negatives.
QString ShowNumber(qint64 value);

// Controller current units <-> milliamperes. currentScale is the controller's CF value.
std::optional<qint16> CurrentFromController(double controllerValue, qint16 currentScale);
std::optional<qint32> CurrentToController(qint16 milliamperes, qint16 currentScale);

// Controller CT value <-> program units. ctScale is the controller's CC value.
std::optional<qint16> CtFromController(double controllerValue, double ctScale);
std::optional<qint32> CtToController(qint16 ctValue, double ctScale);

} // namespace Numbers

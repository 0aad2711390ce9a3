#pragma once

#include <QtGlobal>

// The 16-bit truth value shared by the record, the program state and the file format:
// True has all bits set, any non-zero value reads as True.
using Boolean = qint16;
inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

inline constexpr Boolean ToBoolean(bool value) {
    return value ? kTrue : kFalse;
}
inline constexpr bool IsTrue(Boolean value) {
    return value != 0;
}

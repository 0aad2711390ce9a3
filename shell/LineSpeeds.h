#pragma once

#include <QString>
#include <QStringView>

#include <iterator>

// The four line speeds, in the order of the speed options: the program option ComSpeed and
// the controller's own comSpeed field are indexes into this table.
struct LineSpeed {
    int bitsPerSecond;
    const char* settings; // the serial control's settings string
    const char* caption;  // the option button's caption
};

inline constexpr LineSpeed kLineSpeeds[] = {
    {4800, "4800,N,8,1", " 4800"},
    {9600, "9600,N,8,1", " 9600"},
    {19200, "19200,N,8,1", "19200"},
    {38400, "38400,N,8,1", "38400"},
};
inline constexpr int kLineSpeedCount = int(std::size(kLineSpeeds));

// The index of a speed given in bit/s as text ("9600"), or -1.
inline int LineSpeedIndex(QStringView bitsPerSecond) {
    for (int i = 0; i < kLineSpeedCount; ++i)
        if (bitsPerSecond == QString::number(kLineSpeeds[i].bitsPerSecond))
            return i;
    return -1;
}

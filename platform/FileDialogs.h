#pragma once

#include <QString>

namespace platform {

// The open-file and save-file dialogs. The filter is given as "Description (*.EXT)|*.EXT";
// a cancelled dialog returns an empty name. Neither dialog checks existence or asks before
// replacing: the file operations do their own checks.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual QString OpenFileName(const QString& title, const QString& filter) = 0;
    virtual QString SaveFileName(const QString& title, const QString& filter) = 0;
};

} // namespace platform

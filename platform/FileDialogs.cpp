#include "platform/FileDialogs.h"

namespace platform {

namespace {
class CancelledDialogs : public FileDialogs {
public:
    QString OpenFileName(const QString&, const QString&) override { return {}; }
    QString SaveFileName(const QString&, const QString&) override { return {}; }
};
CancelledDialogs cancelled;
FileDialogs* current = nullptr;
} // namespace

void SetFileDialogs(FileDialogs* dialogs) {
    current = dialogs;
}

FileDialogs& Dialogs() {
    return current ? *current : cancelled;
}

} // namespace platform

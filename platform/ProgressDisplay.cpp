#include "platform/ProgressDisplay.h"

namespace platform {

namespace {
class NoProgress : public ProgressDisplay {
public:
    void ShowProgress(int) override {}
    void SetProgress(int) override {}
    void HideProgress() override {}
};
NoProgress none;
ProgressDisplay* current = nullptr;
} // namespace

void SetProgressDisplay(ProgressDisplay* display) {
    current = display;
}

ProgressDisplay& Progress() {
    return current ? *current : none;
}

} // namespace platform

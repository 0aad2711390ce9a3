#pragma once

namespace platform {

// The progress bar (range 0 to 100) shown while the program exchanges with the controller.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void ShowProgress(int value) = 0; // make visible with this value
    virtual void SetProgress(int value) = 0;
    virtual void HideProgress() = 0;
};

} // namespace platform

#pragma once

#include "cli/Cli.h"
#include "link/ControllerCommands.h"

// A command on one controller: a short chain of steps, each started by the one before and
// going on from its series' Finished. The controller commands open the port and identify; the
// command's own series load, store and verify on the same link.
namespace cli {

// No window: the controller's information is printed by the commands that want it, and the
// progress goes to the terminal when someone watches it.
class QuietView final : public ControllerCommandsView {
public:
    explicit QuietView(platform::ProgressDisplay* progress) : progress_(progress) {}
    void DispConfigData() override {}
    void DispControllerInfo(bool) override {}
    void SetConnectedControls(bool) override {}
    void SetOptionsEnabled(bool) override {}
    void DispStatusMsg(StatusMsg) override {}
    bool Ask(const Question& question) override;
    void ShowFailure(const Failure& failure) override;
    void ShowProgress(int value) override;
    void SetProgress(int value) override;
    void HideProgress() override;

private:
    platform::ProgressDisplay* progress_;
};

class LinkCommand : public Task {
    Q_OBJECT
public:
    explicit LinkCommand(const LinkContext& context);

protected:
    // Identifies the controller (the program state then holds what it answered, and nothing of
    // a question it did not answer); Connected follows with kOk, kNoController or kFailed.
    void Connect();
    virtual void Connected(int code) = 0;
    void Disconnect();
    // A series of this command, its progress on the view; hidden before its Finished is handled.
    template <typename S> S* Watch(S* series) {
        view_.ShowProgress(0);
        connect(series, &Series::Progress, this, [this](int value) { view_.SetProgress(value); });
        connect(series, &Series::Finished, this, [this] { view_.HideProgress(); });
        return series;
    }
    // Disconnects and tells the exit code.
    void End(int code);
    // The controller's parameters as the controller commands know them (none while unknown).
    const std::optional<ConfigRecord>& ControllerValues() const { return commands_.Known(); }

    Run& run_;
    Program& program_;
    ComSupport& link_;
    const Invocation& call_;

private:
    void Identified(const ControllerCommands::Report& report);

    QuietView view_;
    ControllerCommands commands_;
};

} // namespace cli

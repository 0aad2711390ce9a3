#include "link/ControllerCommands.h"

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"

namespace ControllerCommands {

namespace {

using MainModule::Options;
using MainModule::State;

Result OpenPort(const QString& device) {
    return device.isEmpty() ? ComSupport::ComOpen() : ComSupport::ComOpenDevice(device);
}

// The failure, shown; true when there was none.
bool Succeeded(const Result& result, ControllerCommandsView& view) {
    if (!result && result.failure())
        view.ShowFailure(*result.failure());
    return bool(result);
}

Question StoreQuestion() {
    return {ComSupport::LinkTitle(),
            MainModule::JaEn(QStringLiteral("設定値をQMXに書込みますか？"),
                             QStringLiteral("Store Config data ?")),
            false};
}

} // namespace

ConnectResult Connect(ControllerCommandsView& view, const QString& device) {
    if (!Succeeded(OpenPort(device), view)) {
        ComSupport::ComClose();
        return ConnectResult::NotOpened;
    }
    if (!Succeeded(QMXModule::ConnectController(), view)) {
        ComSupport::ComClose();
        return ConnectResult::NotIdentified;
    }
    view.DispControllerInfo(true);
    view.SetOptionsEnabled(false);
    const bool load = IsTrue(Options.LoadOnConnect);
    if (load) {
        if (!Succeeded(QMXModule::LoadConfigFromController(), view)) {
            Disconnect(view);
            return ConnectResult::NotLoaded;
        }
        view.DispConfigData();
    }
    view.SetConnectedControls(true);
    State.IsConnected = kTrue;
    view.DispStatusMsg(load ? StatusMsg::ConnectedAndLoaded : StatusMsg::Connected);
    return ConnectResult::Connected;
}

void Disconnect(ControllerCommandsView& view) {
    ComSupport::ComClose();
    view.DispControllerInfo(false);
    view.SetConnectedControls(false);
    view.SetOptionsEnabled(true);
    view.DispStatusMsg(StatusMsg::Disconnected);
    State.IsConnected = kFalse;
}

void ConnectOrDisconnect(ControllerCommandsView& view) {
    if (IsTrue(State.IsConnected))
        Disconnect(view);
    else
        Connect(view);
}

bool Load(ControllerCommandsView& view) {
    if (!IsTrue(State.IsConnected))
        return false;
    if (!Succeeded(QMXModule::LoadConfigFromController(), view)) {
        Disconnect(view);
        return false;
    }
    view.DispConfigData();
    view.DispStatusMsg(StatusMsg::LoadedFromController);
    return true;
}

bool Store(ControllerCommandsView& view) {
    if (!IsTrue(State.IsConnected))
        return false;
    if (IsTrue(Options.ConfirmStore) && !view.Ask(StoreQuestion()))
        return false;
    if (!Succeeded(QMXModule::StoreConfigToController(), view)) {
        Disconnect(view);
        return false;
    }
    view.DispStatusMsg(StatusMsg::StoredToController);
    return true;
}

} // namespace ControllerCommands

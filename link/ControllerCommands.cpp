#include "link/ControllerCommands.h"

#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "platform/MessageBoxes.h"
#include "shell/MainModule.h"

namespace ControllerCommands {

namespace {

using MainModule::Options;
using MainModule::State;

bool OpenPort(const QString& device) {
    return device.isEmpty() ? ComSupport::ComOpen() : ComSupport::ComOpenDevice(device);
}

bool StoreConfirmed() {
    if (!IsTrue(Options.ConfirmStore))
        return true;
    return platform::MsgBox(MainModule::JaEn(QStringLiteral("設定値をQMXに書込みますか？"),
                                             QStringLiteral("Store Config data ?")),
                            ComSupport::LinkTitle(), platform::MsgIcon::None,
                            platform::MsgButtons::YesNo) == platform::MsgAnswer::Yes;
}

} // namespace

ConnectResult Connect(ControllerCommandsView& view, const QString& device) {
    if (!OpenPort(device)) {
        ComSupport::ComClose();
        return ConnectResult::NotOpened;
    }
    if (!QMXModule::ConnectController()) {
        ComSupport::ComClose();
        return ConnectResult::NotIdentified;
    }
    view.DispControllerInfo(true);
    view.SetOptionsEnabled(false);
    const bool load = IsTrue(Options.LoadOnConnect);
    if (load) {
        if (!QMXModule::LoadConfigFromController()) {
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
    if (!QMXModule::LoadConfigFromController()) {
        Disconnect(view);
        return false;
    }
    view.DispConfigData();
    view.DispStatusMsg(StatusMsg::LoadedFromController);
    return true;
}

bool Store(ControllerCommandsView& view) {
    if (!IsTrue(State.IsConnected) || !StoreConfirmed())
        return false;
    if (!QMXModule::StoreConfigToController()) {
        Disconnect(view);
        return false;
    }
    view.DispStatusMsg(StatusMsg::StoredToController);
    return true;
}

} // namespace ControllerCommands

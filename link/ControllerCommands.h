#pragma once

#include "shell/Result.h"
#include "shell/StatusMessages.h"

#include <QString>

// What the controller commands need of their front end: the window, qmxcli and the tests
// implement it. The commands ask and tell the operator only through it.
class ControllerCommandsView {
public:
    virtual ~ControllerCommandsView() = default;
    virtual void DispConfigData() = 0;
    // The identification labels: the program state's controller information once identified,
    // the placeholders otherwise.
    virtual void DispControllerInfo(bool identified) = 0;
    // Lamp, CONNECT's caption, LOAD and STORE.
    virtual void SetConnectedControls(bool connected) = 0;
    virtual void SetOptionsEnabled(bool enabled) = 0; // the Tools > Options entry
    virtual void DispStatusMsg(StatusMsg message) = 0;
    // True when the operator answers Yes.
    virtual bool Ask(const Question& question) = 0;
    virtual void ShowFailure(const Failure& failure) = 0;
};

// CONNECT, LOAD, STORE and DISCONNECT: open the port, run the command series, keep the
// connected state and report success. A failed load or store disconnects.
namespace ControllerCommands {

enum class ConnectResult {
    Connected,
    NotOpened,     // the port could not be opened
    NotIdentified, // no controller, or one this program does not serve
    NotLoaded,     // identified, but the load on connect failed (now disconnected)
};

// Opens the port (this device, or COM ComPortNumber when empty), identifies the controller
// and, when the option is set, loads its parameters.
ConnectResult Connect(ControllerCommandsView& view, const QString& device = {});
void Disconnect(ControllerCommandsView& view);
// CONNECT's button: disconnects when connected, connects otherwise.
void ConnectOrDisconnect(ControllerCommandsView& view);
bool Load(ControllerCommandsView& view);
// Asks first when the option says so; No ends it without a message.
bool Store(ControllerCommandsView& view);

} // namespace ControllerCommands

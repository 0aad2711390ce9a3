#pragma once

#include "link/QMXModule.h"
#include "platform/ProgressDisplay.h"
#include "shell/MainModule.h"
#include "shell/Result.h"
#include "shell/StatusMessages.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class ComSupport;

// What the controller commands need of their front end: the window, qmxcli and the tests
// implement it. The commands ask and tell the operator only through it.
class ControllerCommandsView : public OperatorView, public platform::ProgressDisplay {
public:
    virtual void DispConfigData() = 0;
    // The identification labels: the program state's controller information once identified,
    // the placeholders otherwise.
    virtual void DispControllerInfo(bool identified) = 0;
    // Lamp, CONNECT's caption, LOAD and STORE.
    virtual void SetConnectedControls(bool connected) = 0;
    virtual void SetOptionsEnabled(bool enabled) = 0; // the Tools > Options entry
    virtual void DispStatusMsg(StatusMsg message) = 0;
    // How the parameter of a record field is named to the operator: the window names it by its
    // caption, others by the field's name.
    virtual QString FieldCaption(int field) const;
    // How it shows a field's value, with its unit.
    virtual QString FieldValue(int field, const ConfigRecord& record) const;
};

// CONNECT, LOAD, STORE, DISCONNECT and Compare on one link and one program: open the port, run
// the command series, keep the connected state and report success. A failed load, store or
// compare disconnects. Each command starts and returns at once; Finished tells how it ended,
// once the view has shown it. One command at a time. The commands keep what the controller is
// known to hold: set by a load (LOAD, the load on connect, Compare) and by a store that
// succeeded (as a load would read it back), forgotten by one that failed and when a connect
// starts; DISCONNECT keeps it.
class ControllerCommands : public QObject {
    Q_OBJECT
public:
    enum class ConnectResult {
        Connected,
        NotOpened,     // the port could not be opened
        NotIdentified, // no controller, or one this program does not serve
        NotLoaded,     // identified, but the load on connect failed (now disconnected)
    };

    // How a command ended.
    struct Report {
        Result result; // its failure, already shown (none: it succeeded)
        ConnectResult connect = ConnectResult::Connected; // CONNECT's
        std::optional<StoreReport> store{};               // STORE's, once sent
        std::optional<ConfigRecord> compared{};           // Compare's: what the controller holds
    };

    ControllerCommands(ComSupport& link, Program& program, ControllerCommandsView& view,
                       QObject* parent = nullptr);

    bool Running() const { return running_; }
    ComSupport& Link() const { return link_; }

    // Opens the port (this device, or COM ComPortNumber when empty), identifies the controller
    // and, when the option is set, loads its parameters.
    void Connect(const QString& device = {});
    // At once: closes the port and shows the disconnected state.
    void Disconnect();
    // CONNECT's button: disconnects when connected, connects otherwise.
    void ConnectOrDisconnect();
    void Load();
    // Asks first when the record's line speed or flow control differs from the link's, and when
    // the option says so; No ends it without a message.
    void Store();
    // Reads every parameter into a record of its own (the program's record is not touched).
    void Compare();

    const std::optional<ConfigRecord>& Known() const { return known_; }
    // The questions STORE asks, as they stand now.
    bool StoreChangesLineSettings() const;
    Question SpeedQuestion() const;
    Question StoreQuestion() const;

signals:
    void Finished(const ControllerCommands::Report& report);
    void KnownChanged();

private:
    void Begin();
    void End(Report report);
    void Identified(const Result& result);
    void LoadedOnConnect(const Result& result);
    void Loaded(const Result& result);
    void Stored(const Result& result, const StoreReport& store, const ConfigRecord& sent);
    void Compared(const Result& result);
    void SetKnown(const std::optional<ConfigRecord>& known);
    QString ChangesText() const;
    template <typename S> S* Watch(S* series);

    ComSupport& link_;
    Program& program_;
    ControllerCommandsView& view_;
    bool running_ = false;
    std::optional<ConfigRecord> known_;
    ConfigRecord compared_;
};

#include "link/ControllerCommands.h"

#include "link/ComSupport.h"
#include "shell/RecordFields.h"

#include <utility>

QString ControllerCommandsView::FieldCaption(int field) const {
    return RecordFields::Name(RecordFields::Row(field));
}

QString ControllerCommandsView::FieldValue(int field, const ConfigRecord& record) const {
    return RecordFields::ShowValue(RecordFields::Row(field), record);
}

ControllerCommands::ControllerCommands(ComSupport& link, Program& program,
                                       ControllerCommandsView& view, QObject* parent)
    : QObject(parent), link_(link), program_(program), view_(view) {}

namespace {

// At most this many changes are listed one by one.
constexpr int kListedChanges = 10;

} // namespace

bool ControllerCommands::StoreChangesLineSettings() const {
    const ConfigRecord& record = program_.Config;
    const RecordField& flow = RecordFields::Row(Field("comFlowControl"));
    return record.comSpeedIndex != program_.Options.ComSpeed ||
           (known_ && !RecordFields::SameMeaning(flow, flow.get(record), flow.get(*known_)));
}

Question ControllerCommands::SpeedQuestion() const {
    const Language lang = link_.Lang();
    return {LinkTitle(lang),
            lang.JaEn(QStringLiteral("書き込む通信速度またはフロー制御が、現在の通信の設定と"
                                     "異なります。QMX-001は再起動後、新しい設定で応答する場合が"
                                     "あります。その場合は、オプションで通信速度を設定してくださ"
                                     "い。書き込みますか？"),
                      QStringLiteral("The line speed or flow control to be stored differs from "
                                     "the one this program talks at. After it restarts, QMX-001 "
                                     "may answer at the other setting; the speed must then be set "
                                     "in Options. Store anyway?")),
            true};
}

Question ControllerCommands::StoreQuestion() const {
    const Language lang = link_.Lang();
    return {LinkTitle(lang),
            lang.JaEn(QStringLiteral("設定値をQMXに書込みますか？"),
                      QStringLiteral("Store Config data ?")),
            false, ChangesText()};
}

// The parameters a store changes, known value to new, while the controller's values are known.
QString ControllerCommands::ChangesText() const {
    if (!known_)
        return {};
    const QList<int> changed = QMXModule::ChangedFields(program_.Config, *known_);
    QStringList lines;
    for (const int field : changed.first(std::min<qsizetype>(changed.size(), kListedChanges))) {
        lines << QStringLiteral("%1: %2 → %3")
                     .arg(view_.FieldCaption(field), view_.FieldValue(field, *known_),
                          view_.FieldValue(field, program_.Config));
    }
    if (changed.size() > kListedChanges) {
        const auto more = QString::number(changed.size() - kListedChanges);
        lines << link_.Lang().JaEn(QStringLiteral("他 %1 件").arg(more),
                                   QStringLiteral("and %1 more").arg(more));
    }
    return lines.join(u'\n');
}

void ControllerCommands::SetKnown(const std::optional<ConfigRecord>& known) {
    known_ = known;
    emit KnownChanged();
}

void ControllerCommands::Begin() {
    running_ = true;
}

// Told from the event loop: a command never ends inside the call that started it.
void ControllerCommands::End(Report report) {
    QMetaObject::invokeMethod(
        this,
        [this, report = std::move(report)] {
            running_ = false;
            emit Finished(report);
        },
        Qt::QueuedConnection);
}

// The series' progress on the view's bar, hidden before its outcome is shown.
template <typename S> S* ControllerCommands::Watch(S* series) {
    view_.ShowProgress(0);
    connect(series, &Series::Progress, this, [this](int value) { view_.SetProgress(value); });
    connect(series, &Series::Finished, this, [this] { view_.HideProgress(); });
    return series;
}

void ControllerCommands::Connect(const QString& device) {
    Begin();
    SetKnown(std::nullopt);
    const Result opened = device.isEmpty() ? link_.ComOpen() : link_.ComOpenDevice(device);
    if (!Succeeded(opened, view_)) {
        link_.ComClose();
        return End({opened, ConnectResult::NotOpened});
    }
    auto* series = Watch(QMXModule::ConnectController(link_, program_.State, this));
    connect(series, &Series::Finished, this, &ControllerCommands::Identified);
}

void ControllerCommands::Identified(const Result& result) {
    if (!Succeeded(result, view_)) {
        link_.ComClose();
        return End({result, ConnectResult::NotIdentified});
    }
    view_.DispControllerInfo(true);
    view_.SetOptionsEnabled(false);
    if (IsTrue(program_.Options.LoadOnConnect)) {
        auto* series = Watch(QMXModule::LoadConfigFromController(link_, program_.Config, this));
        connect(series, &Series::Finished, this, &ControllerCommands::LoadedOnConnect);
        return;
    }
    view_.SetConnectedControls(true);
    program_.State.IsConnected = kTrue;
    view_.DispStatusMsg(StatusMsg::Connected);
    End({});
}

void ControllerCommands::LoadedOnConnect(const Result& result) {
    if (!Succeeded(result, view_)) {
        Disconnect();
        return End({result, ConnectResult::NotLoaded});
    }
    SetKnown(program_.Config);
    view_.DispConfigData();
    view_.SetConnectedControls(true);
    program_.State.IsConnected = kTrue;
    view_.DispStatusMsg(StatusMsg::ConnectedAndLoaded);
    End({});
}

void ControllerCommands::Disconnect() {
    link_.ComClose();
    view_.DispControllerInfo(false);
    view_.SetConnectedControls(false);
    view_.SetOptionsEnabled(true);
    view_.DispStatusMsg(StatusMsg::Disconnected);
    program_.State.IsConnected = kFalse;
}

void ControllerCommands::ConnectOrDisconnect() {
    if (!IsTrue(program_.State.IsConnected))
        return Connect();
    Begin();
    Disconnect();
    End({});
}

void ControllerCommands::Load() {
    Begin();
    if (!IsTrue(program_.State.IsConnected))
        return End({Result::Declined()});
    auto* series = Watch(QMXModule::LoadConfigFromController(link_, program_.Config, this));
    connect(series, &Series::Finished, this, &ControllerCommands::Loaded);
}

void ControllerCommands::Loaded(const Result& result) {
    if (!Succeeded(result, view_)) {
        SetKnown(std::nullopt);
        Disconnect();
        return End({result});
    }
    SetKnown(program_.Config);
    view_.DispConfigData();
    view_.DispStatusMsg(StatusMsg::LoadedFromController);
    End({});
}

void ControllerCommands::Store() {
    Begin();
    if (!IsTrue(program_.State.IsConnected))
        return End({Result::Declined()});
    if (StoreChangesLineSettings() && !view_.Ask(SpeedQuestion()))
        return End({Result::Declined()});
    if (IsTrue(program_.Options.ConfirmStore) && !view_.Ask(StoreQuestion()))
        return End({Result::Declined()});
    auto* series = Watch(QMXModule::StoreConfigToController(link_, program_.Config, this));
    connect(series, &Series::Finished, this,
            [this, series, sent = program_.Config](const Result& result) {
                Stored(result, series->Report(), sent);
            });
}

void ControllerCommands::Stored(const Result& result, const StoreReport& store,
                                const ConfigRecord& sent) {
    if (!Succeeded(result, view_)) {
        SetKnown(std::nullopt);
        Disconnect();
        return End({result, ConnectResult::Connected, store});
    }
    SetKnown(QMXModule::AsLoaded(sent));
    view_.DispStatusMsg(StatusMsg::StoredToController);
    End({result, ConnectResult::Connected, store});
}

void ControllerCommands::Compare() {
    Begin();
    if (!IsTrue(program_.State.IsConnected))
        return End({Result::Declined()});
    compared_ = program_.Config;
    auto* series = Watch(QMXModule::LoadConfigFromController(link_, compared_, this));
    connect(series, &Series::Finished, this, &ControllerCommands::Compared);
}

void ControllerCommands::Compared(const Result& result) {
    if (!Succeeded(result, view_)) {
        SetKnown(std::nullopt);
        Disconnect();
        return End({result});
    }
    SetKnown(compared_);
    End({result, ConnectResult::Connected, std::nullopt, compared_});
}

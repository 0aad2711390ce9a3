#include "cli/Cli.h"

#include "files/FileModule.h"
#include "link/ControllerCommands.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace cli {

namespace {

using RecordFields::Name;

// No window: the controller's information is printed by the commands that want it.
class QuietView final : public ControllerCommandsView {
public:
    void DispConfigData() override {}
    void DispControllerInfo(bool) override {}
    void SetConnectedControls(bool) override {}
    void SetOptionsEnabled(bool) override {}
    void DispStatusMsg(StatusMsg) override {}
};

int Connect(const Invocation& call) {
    QuietView view;
    switch (ControllerCommands::Connect(view, call.device)) {
    case ControllerCommands::ConnectResult::Connected:
        return kOk;
    case ControllerCommands::ConnectResult::NotIdentified:
        return kNoController;
    case ControllerCommands::ConnectResult::NotOpened:
    case ControllerCommands::ConnectResult::NotLoaded:
        break;
    }
    return kFailed;
}

void Disconnect() {
    QuietView view;
    ControllerCommands::Disconnect(view);
}

// A field's value for JSON: a number, or true/false for a Boolean (by meaning).
QJsonValue JsonValue(const RecordField& field, double value) {
    if (field.type == FieldType::Boolean)
        return value != 0;
    return value;
}

QJsonObject JsonFields(const ConfigRecord& record) {
    QJsonObject fields;
    for (const RecordField* field : RecordFields::FileFields())
        fields.insert(Name(*field), JsonValue(*field, field->get(record)));
    return fields;
}

// A fact as a person reads it, its JSON key, and its value.
struct Fact {
    const char* text;
    const char* key;
    QString value;
};

// name = value lines, or one JSON object.
void PrintFacts(const QList<Fact>& facts, bool json) {
    QJsonObject object;
    for (const Fact& fact : facts) {
        object.insert(QLatin1String(fact.key), fact.value);
        if (!json)
            Out() << fact.text << " = " << fact.value << '\n';
    }
    if (json)
        PrintJson(object);
}

// The held file's header, in the order show prints it.
QList<Fact> Header() {
    const QByteArray image = FileModule::FileImage();
    return {{"created", "created", FileModule::ImageDateText(image, FileModule::kCreatedOffset)},
            {"updated", "updated", FileModule::ImageDateText(image, FileModule::kUpdatedOffset)},
            {"version", "version", FileModule::ImageVersion(image)},
            {"serial number", "serialNumber", FileModule::ImageSerialNo(image)}};
}

// Writes the record as the file has it, then reads it back and compares (write --verify).
int Verify(const Invocation& call) {
    const auto differences = QMXModule::VerifyStore(MainModule::Config);
    if (!differences)
        return kFailed;
    QJsonObject report;
    for (const QMXModule::StoreDifference& d : *differences) {
        const QString name = Name(RecordFields::Row(d.field));
        report.insert(name, QJsonObject{{QStringLiteral("sent"), double(d.sent)},
                                        {QStringLiteral("readBack"), d.readBack}});
        if (!call.json)
            Out() << "verify: " << name << ": sent " << d.sent << ", read back " << d.readBack
                  << '\n';
    }
    if (call.json)
        PrintJson({{QStringLiteral("verified"), differences->isEmpty()},
                   {QStringLiteral("differences"), report}});
    else if (differences->isEmpty())
        Out() << "verify: the controller holds every parameter sent\n";
    return differences->isEmpty() ? kOk : kMismatch;
}

} // namespace

QTextStream& Out() {
    static QTextStream out(stdout);
    return out;
}

void PrintJson(const QJsonObject& document) {
    Out() << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

int Info(const Invocation& call) {
    if (const int rc = Connect(call))
        return rc;
    const ProgramState& s = MainModule::State;
    PrintFacts({{"name", "name", s.ControllerName},
                {"serial number", "serialNumber", s.ControllerSerialNo},
                {"version", "version", s.ControllerVersionText},
                {"revision", "revision", s.ControllerRevision},
                {"build date", "buildDate", s.ControllerBuildDate}},
               call.json);
    Disconnect();
    return kOk;
}

int Read(const Invocation& call) {
    if (const int rc = Connect(call))
        return rc;
    const bool saved =
        QMXModule::LoadConfigFromController() && FileModule::CreateConfigFile(call.files.at(0));
    Disconnect();
    return saved ? kOk : kFailed;
}

int Write(const Invocation& call) {
    if (const int rc = Connect(call))
        return rc;
    int rc = FileModule::LoadConfigFile(call.files.at(0)) && QMXModule::StoreConfigToController()
                 ? kOk
                 : kFailed;
    if (rc == kOk && call.verify)
        rc = Verify(call);
    Disconnect();
    return rc;
}

int Show(const Invocation& call) {
    if (!FileModule::LoadConfigFile(call.files.at(0)))
        return kFailed;
    if (call.json) {
        QJsonObject header;
        for (const Fact& fact : Header())
            header.insert(QLatin1String(fact.key), fact.value);
        PrintJson({{QStringLiteral("header"), header},
                   {QStringLiteral("parameters"), JsonFields(MainModule::Config)}});
        return kOk;
    }
    PrintFacts(Header(), false);
    for (const RecordField* field : RecordFields::FileFields())
        Out() << Name(*field) << " = " << RecordFields::ShowValue(*field, MainModule::Config)
              << '\n';
    return kOk;
}

int Defaults(const Invocation& call) {
    MainModule::ResetToFactoryDefaults();
    return FileModule::CreateConfigFile(call.files.at(0)) ? kOk : kFailed;
}

int Diff(const Invocation& call) {
    if (!FileModule::LoadConfigFile(call.files.at(0)))
        return kFailed;
    const ConfigRecord fromFile = MainModule::Config;
    if (const int rc = Connect(call))
        return rc;
    const bool ok = QMXModule::LoadConfigFromController();
    Disconnect();
    if (!ok)
        return kFailed;
    QJsonObject differences;
    for (const RecordField* field : RecordFields::FileFields()) {
        const double controller = field->get(MainModule::Config);
        if (RecordFields::SameMeaning(*field, controller, field->get(fromFile)))
            continue;
        differences.insert(
            Name(*field),
            QJsonObject{{QStringLiteral("controller"), JsonValue(*field, controller)},
                        {QStringLiteral("file"), JsonValue(*field, field->get(fromFile))}});
        if (!call.json)
            Out() << Name(*field) << ": controller "
                  << RecordFields::ShowValue(*field, MainModule::Config) << ", file "
                  << RecordFields::ShowValue(*field, fromFile) << '\n';
    }
    if (call.json)
        PrintJson({{QStringLiteral("differences"), differences}});
    else if (differences.isEmpty())
        Out() << "no differences\n";
    return kOk;
}

} // namespace cli

#include "cli/Cli.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "link/ComSupport.h"
#include "link/ControllerCommands.h"
#include "link/QMXModule.h"
#include "platform/SerialControl.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace cli {

namespace {

using RecordFields::Name;

// The controller answered the identification: its name and serial number are known.
bool identified = false;

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
        identified = true;
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
            Out() << fact.text << " = " << ParameterText::Printable(fact.value) << '\n';
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

// The serial port as the link sees it, remembering the last line sent and what came back, so
// that a refused store can name the setting and the controller's answer.
class WatchedSerial : public platform::SerialControl {
public:
    explicit WatchedSerial(platform::SerialControl& port) : port_(port) {
        connect(&port, &SerialControl::Received, this, &SerialControl::Received);
        connect(&port, &SerialControl::Lost, this, &SerialControl::Lost);
    }
    bool Open(const QString& device, const QString& settings) override {
        return port_.Open(device, settings);
    }
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    void SetRts(bool on) override { port_.SetRts(on); }
    void SetDtr(bool on) override { port_.SetDtr(on); }
    bool CtsHolding() override { return port_.CtsHolding(); }
    bool Write(const QByteArray& data) override {
        sent_ = data.trimmed();
        answer_.clear();
        return port_.Write(data);
    }
    QByteArray ReadAll() override {
        QByteArray bytes = port_.ReadAll();
        answer_ = (answer_ + bytes).right(kKeptAnswer);
        return bytes;
    }
    QString ErrorText() const override { return port_.ErrorText(); }

    // "the controller answered "NG" to "Z:EP1"", or that it did not answer.
    QString LastExchange() const {
        if (sent_.isEmpty())
            return QStringLiteral("no setting was sent");
        const QList<QByteArray> lines = answer_.trimmed().split('\r');
        const QString sent = ParameterText::Printable(QString::fromLatin1(sent_), 40);
        if (lines.last().trimmed().isEmpty())
            return QStringLiteral("the controller did not answer \"%1\"").arg(sent);
        return QStringLiteral("the controller answered \"%1\" to \"%2\"")
            .arg(ParameterText::Printable(QString::fromLatin1(lines.last().trimmed()), 40), sent);
    }

private:
    static constexpr qsizetype kKeptAnswer = 256;
    platform::SerialControl& port_;
    QByteArray sent_;
    QByteArray answer_;
};

// What a write did, for the provisioning record.
struct WriteOutcome {
    bool verified = false;
    QJsonObject differences;
};

// A difference in the record's units (the controller's own beside them, as on the wire).
QJsonObject DifferenceJson(const RecordField& field, const ConfigRecord& readBack,
                           const QMXModule::StoreDifference& d) {
    return {{QStringLiteral("sent"), JsonValue(field, field.get(MainModule::Config))},
            {QStringLiteral("readBack"), JsonValue(field, field.get(readBack))},
            {QStringLiteral("raw"), QJsonObject{{QStringLiteral("sent"), QString::number(d.sent)},
                                                {QStringLiteral("readBack"), d.readBack}}}};
}

// Reads every parameter back and compares it with what the store sent (write --verify).
int Verify(const Invocation& call, WriteOutcome& outcome) {
    const auto differences = QMXModule::VerifyStore(MainModule::Config);
    if (!differences)
        return kFailed;
    // The differing values once more, converted into the record's units.
    ConfigRecord readBack = MainModule::Config;
    if (!differences->isEmpty() && !QMXModule::ReadConfig(readBack))
        return kFailed;
    for (const QMXModule::StoreDifference& d : *differences) {
        const RecordField& field = RecordFields::Row(d.field);
        outcome.differences.insert(Name(field), DifferenceJson(field, readBack, d));
        if (!call.json)
            Out() << "verify: " << Name(field) << ": sent "
                  << RecordFields::ShowValue(field, MainModule::Config) << ", read back "
                  << RecordFields::ShowValue(field, readBack) << " (controller " << d.sent << ", "
                  << ParameterText::Printable(d.readBack, 20) << ")\n";
    }
    outcome.verified = true;
    if (call.json)
        PrintJson({{QStringLiteral("verified"), differences->isEmpty()},
                   {QStringLiteral("differences"), outcome.differences}});
    else if (differences->isEmpty())
        Out() << "verify: the controller holds every parameter sent\n";
    return differences->isEmpty() ? kOk : kMismatch;
}

QString PortName(const Invocation& call) {
    return call.device.isEmpty() ? QStringLiteral("COM%1").arg(MainModule::Options.ComPort)
                                 : call.device;
}

QJsonValue FileSha256(const QString& fileName) {
    QFile file(fileName);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QJsonValue::Null;
    return QString::fromLatin1(hash.result().toHex());
}

// One line per controller, appended in one write so that several processes appending at
// once never interleave their lines.
int AppendRecord(const Invocation& call, const WriteOutcome& outcome, int rc) {
    const ProgramState s = identified ? MainModule::State : ProgramState();
    const QJsonObject line{
        {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
        {QStringLiteral("port"), PortName(call)},
        {QStringLiteral("name"), s.ControllerName},
        {QStringLiteral("serialNumber"), s.ControllerSerialNo},
        {QStringLiteral("version"), s.ControllerVersionText},
        {QStringLiteral("revision"), s.ControllerRevision},
        {QStringLiteral("file"), QFileInfo(call.files.at(0)).absoluteFilePath()},
        {QStringLiteral("sha256"), FileSha256(call.files.at(0))},
        {QStringLiteral("verified"), outcome.verified},
        {QStringLiteral("differences"), outcome.differences},
        {QStringLiteral("exitCode"), rc}};
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    QFile file(call.record);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size())
        return rc;
    Complain(
        QStringLiteral("cannot add to the record %1: %2").arg(call.record, file.errorString()));
    return rc == kOk ? kFailed : rc;
}

// Opens the file and stores it; a refused or unanswered setting is named.
int Store(const Invocation& call) {
    if (!FileModule::LoadConfigFile(call.files.at(0)))
        return kFailed;
    platform::SerialControl& port = ComSupport::Serial();
    WatchedSerial watched(port);
    ComSupport::SetSerialControl(&watched);
    const bool stored = QMXModule::StoreConfigToController();
    ComSupport::SetSerialControl(&port);
    if (stored)
        return kOk;
    Complain(QStringLiteral("write stopped: %1").arg(watched.LastExchange()));
    return kFailed;
}

int WriteAndVerify(const Invocation& call, WriteOutcome& outcome) {
    if (const int rc = Connect(call))
        return rc;
    int rc = Store(call);
    if (call.json)
        PrintJson({{QStringLiteral("written"), rc == kOk}});
    if (rc == kOk && call.verify)
        rc = Verify(call, outcome);
    Disconnect();
    return rc;
}

// The target of read: checked before the controller is asked anything.
int CheckNewFile(const Invocation& call, const QString& fileName) {
    if (FileModule::IsSpecialFile(fileName)) {
        Complain(QStringLiteral("%1 is not a regular file (a folder, a device or a pipe)")
                     .arg(fileName));
        return kFailed;
    }
    if (QFileInfo::exists(fileName) && !call.yes) {
        Complain(QStringLiteral("%1 exists; give --yes to replace it").arg(fileName));
        return kFailed;
    }
    return kOk;
}

} // namespace

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
    if (const int rc = CheckNewFile(call, call.files.at(0)))
        return rc;
    if (const int rc = Connect(call))
        return rc;
    const bool saved =
        QMXModule::LoadConfigFromController() && FileModule::CreateConfigFile(call.files.at(0));
    Disconnect();
    if (saved && call.json)
        PrintJson({{QStringLiteral("file"), call.files.at(0)}});
    return saved ? kOk : kFailed;
}

int Write(const Invocation& call) {
    WriteOutcome outcome;
    const int rc = WriteAndVerify(call, outcome);
    return call.record.isEmpty() ? rc : AppendRecord(call, outcome, rc);
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
    if (!FileModule::CreateConfigFile(call.files.at(0)))
        return kFailed;
    if (call.json)
        PrintJson({{QStringLiteral("file"), call.files.at(0)}});
    return kOk;
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
    return differences.isEmpty() ? kOk : kDifferent; // as diff does
}

} // namespace cli

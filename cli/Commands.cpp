#include "cli/Cli.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "link/ComSupport.h"
#include "link/ControllerCommands.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>
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
    bool Ask(const Question& question) override { return cli::Ask(question); }
    // Once a signal stopped the run, the run itself says what the controller holds.
    void ShowFailure(const Failure& failure) override {
        if (!StopSignal())
            cli::ShowFailure(failure);
    }
};

AskOperator AskAbout(const QString& fileName) {
    return [fileName](const Question& question) {
        return Ask(question, fileName);
    };
}

// The failure, shown; true when there was none.
bool Succeeded(const Result& result, const QString& fileName = {}) {
    if (!result && result.failure() && !StopSignal())
        ShowFailure(*result.failure(), fileName);
    return bool(result);
}

// Identifies the controller; the program state then holds what it answered, and nothing of a
// question it did not answer.
int Connect(const Invocation& call) {
    ProgramState& s = MainModule::State;
    for (QString* text : {&s.ControllerName, &s.ControllerSerialNo, &s.ControllerVersionText,
                          &s.ControllerRevision, &s.ControllerBuildDate})
        text->clear();
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

QString CommitText(QMXModule::StoreReport::Commit commit) {
    using Commit = QMXModule::StoreReport::Commit;
    switch (commit) {
    case Commit::Ok:
        return QStringLiteral("ok");
    case Commit::Refused:
        return QStringLiteral("refused");
    case Commit::Unanswered:
        return QStringLiteral("unanswered");
    case Commit::Uncertain:
        return QStringLiteral("uncertain");
    case Commit::NotSent:
        break;
    }
    return QStringLiteral("not sent");
}

QJsonObject WrittenJson(const QMXModule::StoreReport& report) {
    return {{QStringLiteral("settings"), report.settings},
            {QStringLiteral("total"), report.total},
            {QStringLiteral("commit"), CommitText(report.commit)}};
}

// Why the store stopped: the command that was refused and the line that refused it.
QString StopText(const QMXModule::StoreReport& report) {
    if (report.commit == QMXModule::StoreReport::Commit::Uncertain)
        return QStringLiteral("a further line came after the controller's \"OK\" to \"Z:UW\"");
    if (report.failedCommand.isEmpty())
        return QStringLiteral("the file's values cannot be sent");
    const QString command = ParameterText::Printable(report.failedCommand, 40);
    if (report.failedReply.isEmpty())
        return QStringLiteral("the controller did not answer \"%1\"").arg(command);
    return QStringLiteral("the controller answered \"%1\" to \"%2\"")
        .arg(ParameterText::Printable(report.failedReply, 40), command);
}

// The identification as the controller gave it, also when it was refused.
void TakeIdentification(QJsonObject& line) {
    const ProgramState& s = MainModule::State;
    line.insert(QStringLiteral("name"), s.ControllerName);
    line.insert(QStringLiteral("serialNumber"), s.ControllerSerialNo);
    line.insert(QStringLiteral("version"), s.ControllerVersionText);
    line.insert(QStringLiteral("revision"), s.ControllerRevision);
    line.insert(QStringLiteral("buildDate"), s.ControllerBuildDate);
}

// A difference in the record's units (the controller's own beside them, as on the wire).
QJsonObject DifferenceJson(const RecordField& field, const ConfigRecord& readBack,
                           const QMXModule::StoreDifference& d) {
    return {{QStringLiteral("sent"), JsonValue(field, field.get(MainModule::Config))},
            {QStringLiteral("readBack"), JsonValue(field, field.get(readBack))},
            {QStringLiteral("raw"), QJsonObject{{QStringLiteral("sent"), QString::number(d.sent)},
                                                {QStringLiteral("readBack"), d.readBack}}}};
}

// Reads every parameter back and compares it with what the store sent (write --verify).
int Verify(const Invocation& call, QJsonObject& line) {
    QList<QMXModule::StoreDifference> differences;
    if (!Succeeded(QMXModule::VerifyStore(MainModule::Config, differences)))
        return kFailed;
    // The differing values once more, converted into the record's units.
    ConfigRecord readBack = MainModule::Config;
    if (!differences.isEmpty() && !Succeeded(QMXModule::ReadConfig(readBack)))
        return kFailed;
    QJsonObject listed;
    for (const QMXModule::StoreDifference& d : std::as_const(differences)) {
        const RecordField& field = RecordFields::Row(d.field);
        listed.insert(Name(field), DifferenceJson(field, readBack, d));
        if (!call.json)
            Out() << "verify: " << Name(field) << ": sent "
                  << RecordFields::ShowValue(field, MainModule::Config) << ", read back "
                  << RecordFields::ShowValue(field, readBack) << " (controller " << d.sent << ", "
                  << ParameterText::Printable(d.readBack, 20) << ")\n";
    }
    line.insert(QStringLiteral("differences"), listed);
    line.insert(QStringLiteral("verified"), differences.isEmpty());
    if (!differences.isEmpty())
        Complain(QStringLiteral("verify: the controller holds other values than were sent: %1")
                     .arg(listed.keys().join(QStringLiteral(", "))));
    if (!call.json && differences.isEmpty())
        Out() << "verify: the controller holds every parameter sent\n";
    return differences.isEmpty() ? kOk : kMismatch;
}

QJsonValue FileSha256(const QString& fileName) {
    QFile file(fileName);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

// Opens the file and stores it; a refused or unanswered setting is named.
int Store(const Invocation& call, QJsonObject& line) {
    if (!LoadFile(call.files.at(0)))
        return kFailed;
    const bool stored = Succeeded(QMXModule::StoreConfigToController());
    const QMXModule::StoreReport& report = QMXModule::LastStoreReport();
    line.insert(QStringLiteral("written"), WrittenJson(report));
    if (stored || report.interrupted)
        return kOk;
    Complain(
        QStringLiteral("write stopped: %1; %2")
            .arg(StopText(report), HoldsText(line.value(QStringLiteral("written")).toObject())));
    return kFailed;
}

// Nothing goes to the controller before the record can take its line and the file loads.
int WriteAndVerify(const Invocation& call, QJsonObject& line) {
    QString error;
    if (!call.record.isEmpty() && !Record().Open(call.record, error)) {
        Complain(QStringLiteral("cannot open the record %1: %2; nothing was sent")
                     .arg(ParameterText::Printable(call.record, 200), error));
        return kFailed;
    }
    line.insert(QStringLiteral("sha256"), FileSha256(call.files.at(0)));
    if (!LoadFile(call.files.at(0)) || StopSignal())
        return kFailed;
    const int connected = Connect(call);
    TakeIdentification(line);
    if (connected != kOk)
        return connected;
    int rc = StopSignal() ? kOk : Store(call, line);
    if (rc == kOk && call.verify && !StopSignal())
        rc = Verify(call, line);
    Disconnect();
    return rc;
}

// The target of read: checked before the controller is asked anything.
int CheckNewFile(const Invocation& call, const QString& fileName) {
    const QFileInfo info(fileName);
    if (FileModule::IsSpecialFile(fileName)) {
        Complain(QStringLiteral("%1 is not a regular file (a folder, a device or a pipe)")
                     .arg(ParameterText::Printable(fileName, 200)));
        return kFailed;
    }
    if ((info.exists() || info.isSymLink()) && !call.yes) {
        Complain(ExistsText(fileName));
        return kFailed;
    }
    QTemporaryFile probe(info.absolutePath() + QStringLiteral("/.qmxcli-XXXXXX"));
    if (!probe.open()) {
        Complain(QStringLiteral("cannot write into the folder %1: %2")
                     .arg(ParameterText::Printable(info.absolutePath(), 200), probe.errorString()));
        return kFailed;
    }
    return kOk;
}

} // namespace

bool LoadFile(const QString& fileName) {
    return Succeeded(FileModule::LoadConfigFile(fileName, AskAbout(fileName)), fileName);
}

bool CreateFile(const QString& fileName) {
    return Succeeded(FileModule::CreateConfigFile(fileName, AskAbout(fileName)), fileName);
}

QString PortName(const Invocation& call) {
    return call.device.isEmpty() ? QStringLiteral("COM%1").arg(MainModule::Options.ComPort)
                                 : call.device;
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
    if (const int rc = CheckNewFile(call, call.files.at(0)))
        return rc;
    if (const int rc = Connect(call))
        return rc;
    const bool saved = Succeeded(QMXModule::LoadConfigFromController()) && !StopSignal() &&
                       CreateFile(call.files.at(0));
    Disconnect();
    return saved ? kOk : kFailed;
}

// The record's line is appended, and the JSON document printed, once the run's exit code is
// known.
int Write(const Invocation& call) {
    QJsonObject& line = PendingRecordLine();
    line = RecordStart(PortName(call), call.files.at(0), call.verify);
    return WriteAndVerify(call, line);
}

int Show(const Invocation& call) {
    if (!LoadFile(call.files.at(0)))
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
    return CreateFile(call.files.at(0)) ? kOk : kFailed;
}

int Diff(const Invocation& call) {
    if (!LoadFile(call.files.at(0)))
        return kFailed;
    const ConfigRecord fromFile = MainModule::Config;
    if (const int rc = Connect(call))
        return rc;
    const bool ok = Succeeded(QMXModule::LoadConfigFromController());
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

#include "cli/Cli.h"
#include "cli/LinkCommand.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "link/QMXModule.h"
#include "shell/RecordFields.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextStream>

namespace cli {

namespace {

using RecordFields::Name;

AskOperator AskAbout(const QString& fileName) {
    return [fileName](const Question& question) {
        return Ask(question, fileName);
    };
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
QList<Fact> Header(const FileModule& files) {
    const QByteArray image = files.FileImage();
    return {{"created", "created", FileModule::ImageDateText(image, FileModule::kCreatedOffset)},
            {"updated", "updated", FileModule::ImageDateText(image, FileModule::kUpdatedOffset)},
            {"version", "version", FileModule::ImageVersion(image)},
            {"serial number", "serialNumber", FileModule::ImageSerialNo(image)}};
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

// info: the identification, printed.
class InfoCommand final : public LinkCommand {
    Q_OBJECT
public:
    using LinkCommand::LinkCommand;
    void Start() override { Connect(); }

private:
    void Connected(int code) override {
        if (code != kOk)
            return End(code);
        const ProgramState& s = program_.State;
        PrintFacts({{"name", "name", s.ControllerName},
                    {"serial number", "serialNumber", s.ControllerSerialNo},
                    {"version", "version", s.ControllerVersionText},
                    {"revision", "revision", s.ControllerRevision},
                    {"build date", "buildDate", s.ControllerBuildDate}},
                   call_.json);
        End(kOk);
    }
};

// read: every parameter into the record, then saved as a new file.
class ReadCommand final : public LinkCommand {
    Q_OBJECT
public:
    using LinkCommand::LinkCommand;
    void Start() override {
        if (const int rc = CheckNewFile(call_, call_.files.at(0)))
            return End(rc);
        Connect();
    }

private:
    void Connected(int code) override {
        if (code != kOk)
            return End(code);
        auto* load = Watch(QMXModule::LoadConfigFromController(link_, program_.Config, this));
        connect(load, &Series::Finished, this, &ReadCommand::Loaded);
    }
    void Loaded(const Result& result) {
        const bool saved =
            Succeeded(result) && !StopSignal() && CreateFile(run_.files, call_.files.at(0));
        End(saved ? kOk : kFailed);
    }
};

// diff: the controller read into a record of its own, beside the file's.
class DiffCommand final : public LinkCommand {
    Q_OBJECT
public:
    using LinkCommand::LinkCommand;
    void Start() override {
        if (!LoadFile(run_.files, call_.files.at(0)))
            return End(kFailed);
        Connect();
    }

private:
    void Connected(int code) override {
        if (code != kOk)
            return End(code);
        controller_ = program_.Config;
        auto* load = Watch(QMXModule::LoadConfigFromController(link_, controller_, this));
        connect(load, &Series::Finished, this, &DiffCommand::Loaded);
    }
    void Loaded(const Result& result) { End(Succeeded(result) ? Compare() : kFailed); }
    int Compare() const;

    ConfigRecord controller_;
};

int DiffCommand::Compare() const {
    const ConfigRecord& file = program_.Config;
    QJsonObject differences;
    for (const RecordField* field : RecordFields::FileFields()) {
        const double controller = field->get(controller_);
        if (RecordFields::SameMeaning(*field, controller, field->get(file)))
            continue;
        differences.insert(
            Name(*field),
            QJsonObject{{QStringLiteral("controller"), JsonValue(*field, controller)},
                        {QStringLiteral("file"), JsonValue(*field, field->get(file))}});
        if (!call_.json)
            Out() << Name(*field) << ": controller " << RecordFields::ShowValue(*field, controller_)
                  << ", file " << RecordFields::ShowValue(*field, file) << '\n';
    }
    if (call_.json)
        PrintJson({{QStringLiteral("differences"), differences}});
    else if (differences.isEmpty())
        Out() << "no differences\n";
    return differences.isEmpty() ? kOk : kDifferent; // as diff does
}

} // namespace

QJsonValue JsonValue(const RecordField& field, double value) {
    if (field.type == FieldType::Boolean)
        return value != 0;
    return value;
}

bool LoadFile(FileModule& files, const QString& fileName) {
    return Succeeded(files.LoadConfigFile(fileName, AskAbout(fileName)), fileName);
}

bool CreateFile(FileModule& files, const QString& fileName) {
    return Succeeded(files.CreateConfigFile(fileName, AskAbout(fileName)), fileName);
}

QString PortName(const Invocation& call) {
    return call.device.isEmpty() ? QStringLiteral("COM%1").arg(call.comPort) : call.device;
}

std::unique_ptr<Task> InfoTask(const LinkContext& context) {
    return std::make_unique<InfoCommand>(context);
}

std::unique_ptr<Task> ReadTask(const LinkContext& context) {
    return std::make_unique<ReadCommand>(context);
}

std::unique_ptr<Task> DiffTask(const LinkContext& context) {
    return std::make_unique<DiffCommand>(context);
}

int Show(Run& run, const Invocation& call) {
    if (!LoadFile(run.files, call.files.at(0)))
        return kFailed;
    if (call.json) {
        QJsonObject header;
        for (const Fact& fact : Header(run.files))
            header.insert(QLatin1String(fact.key), fact.value);
        PrintJson({{QStringLiteral("header"), header},
                   {QStringLiteral("parameters"), JsonFields(run.program.Config)}});
        return kOk;
    }
    PrintFacts(Header(run.files), false);
    for (const RecordField* field : RecordFields::FileFields())
        Out() << Name(*field) << " = " << RecordFields::ShowValue(*field, run.program.Config)
              << '\n';
    return kOk;
}

int Defaults(Run& run, const Invocation& call) {
    run.program.Config = FactoryDefaults();
    return CreateFile(run.files, call.files.at(0)) ? kOk : kFailed;
}

} // namespace cli

#include "Commands.moc"

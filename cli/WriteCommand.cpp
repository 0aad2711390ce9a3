#include "cli/Cli.h"
#include "cli/LinkCommand.h"

#include "files/ParameterText.h"
#include "link/QMXModule.h"
#include "shell/LineSpeeds.h"
#include "shell/RecordFields.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTextStream>

#include <cstdio>

// write: the file stored into the controller, and with --verify read back and compared; the
// record's line says how far it got.

namespace cli {

namespace {

using RecordFields::Name;

QString CommitText(StoreReport::Commit commit) {
    using Commit = StoreReport::Commit;
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

QJsonObject WrittenJson(const StoreReport& report) {
    return {{QStringLiteral("settings"), report.settings},
            {QStringLiteral("total"), report.total},
            {QStringLiteral("commit"), CommitText(report.commit)}};
}

// Why the store stopped: the command that was refused and the line that refused it.
QString StopText(const StoreReport& report) {
    if (report.commit == StoreReport::Commit::Uncertain)
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
void TakeIdentification(const ProgramState& s, QJsonObject& line) {
    line.insert(QStringLiteral("name"), s.ControllerName);
    line.insert(QStringLiteral("serialNumber"), s.ControllerSerialNo);
    line.insert(QStringLiteral("version"), s.ControllerVersionText);
    line.insert(QStringLiteral("revision"), s.ControllerRevision);
    line.insert(QStringLiteral("buildDate"), s.ControllerBuildDate);
}

// A difference in the record's units (the controller's own beside them, as on the wire).
QJsonObject DifferenceJson(const RecordField& field, const ConfigRecord& sent,
                           const ConfigRecord& readBack, const StoreDifference& d) {
    return {{QStringLiteral("sent"), JsonValue(field, field.get(sent))},
            {QStringLiteral("readBack"), JsonValue(field, field.get(readBack))},
            {QStringLiteral("raw"), QJsonObject{{QStringLiteral("sent"), QString::number(d.sent)},
                                                {QStringLiteral("readBack"), d.readBack}}}};
}

// The file's line speed against the speed this run talks at (an index into kLineSpeeds).
QString SpeedWarning(qint16 fileSpeed, int runSpeed, Language lang) {
    const QString run = QString::number(kLineSpeeds[runSpeed].bitsPerSecond);
    if (fileSpeed < 0 || fileSpeed >= kLineSpeedCount)
        return lang.JaEn(QStringLiteral("ファイルの通信速度 (comSpeedIndex %1) はこのプログラムの"
                                        "知らない値です。QMX-001は再起動後、%2 bit/sでは応答しない"
                                        "場合があります")
                             .arg(fileSpeed)
                             .arg(run),
                         QStringLiteral("the file sets the controller's line speed to "
                                        "comSpeedIndex %1, which is no speed this program knows: "
                                        "after it restarts, the controller may not answer at %2 "
                                        "bit/s")
                             .arg(fileSpeed)
                             .arg(run));
    const QString file = QString::number(kLineSpeeds[fileSpeed].bitsPerSecond);
    return lang.JaEn(QStringLiteral("ファイルはQMX-001の通信速度を%1 bit/sにしますが、この実行は"
                                    "%2 bit/sで通信しています。QMX-001は再起動後、%1 bit/sでしか"
                                    "応答しない場合があります。その場合は --speed %1 を指定して"
                                    "ください")
                         .arg(file, run),
                     QStringLiteral("the file sets the controller's line speed to %1 bit/s, but "
                                    "this run talks at %2 bit/s: after it restarts, the "
                                    "controller may answer only at %1 bit/s; give --speed %1 then")
                         .arg(file, run));
}

QString FlowWarning(bool on, Language lang) {
    return on ? lang.JaEn(QStringLiteral("ファイルはQMX-001のフロー制御を有効にします。再起動後は"
                                         "フロー制御ありでしか応答しない場合があります"),
                          QStringLiteral("the file turns the controller's flow control on; after "
                                         "it restarts it may answer only with flow control"))
              : lang.JaEn(QStringLiteral("ファイルはQMX-001のフロー制御を無効にします。再起動後は"
                                         "フロー制御なしでしか応答しない場合があります"),
                          QStringLiteral("the file turns the controller's flow control off; after "
                                         "it restarts it may answer only without flow control"));
}

// What a store of the file changes on the line: the controller takes its new speed and flow
// control when it restarts. The flow control is compared only with a value known to be the
// controller's.
QStringList LineWarnings(const ConfigRecord& file, int runSpeed,
                         const std::optional<ConfigRecord>& controller, Language lang) {
    QStringList warnings;
    if (file.comSpeedIndex != runSpeed)
        warnings << SpeedWarning(file.comSpeedIndex, runSpeed, lang);
    const RecordField& flow = RecordFields::Row(Field("comFlowControl"));
    if (controller && !RecordFields::SameMeaning(flow, flow.get(file), flow.get(*controller)))
        warnings << FlowWarning(IsTrue(file.comFlowControl), lang);
    return warnings;
}

QJsonValue FileSha256(const QString& fileName) {
    QFile file(fileName);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

// Open the record and the file; identify; store; with --verify, read every parameter back and
// compare it with what the store sent, and read the differing ones once more into the record's
// units. A store that met trouble reads every parameter back itself: that read-back stands for
// the verify, and differences it found count as a verify's, with or without --verify. The
// line waiting in the run takes each step's outcome.
class WriteCommand final : public LinkCommand {
    Q_OBJECT
public:
    explicit WriteCommand(const LinkContext& context)
        : LinkCommand(context), line_(context.run.pendingLine) {}
    void Start() override;

private:
    void Connected(int code) override;
    void WarnOfLineChanges();
    void Stored(const Result& result, const StoreReport& report);
    void Verified(const Result& result, const QList<StoreDifference>& differences);
    void Compare(const QList<StoreDifference>& differences);
    void ReadBack(const Result& result);
    void ListDifferences();

    QJsonObject& line_;
    QList<StoreDifference> differences_;
    ConfigRecord readBack_;
    bool storeSaidSo_ = false; // the store's own failure named the differences
};

// Nothing goes to the controller before the record can take its line and the file loads.
void WriteCommand::Start() {
    line_ = RecordStart(PortName(call_), call_.files.at(0), call_.verify);
    QString error;
    if (!call_.record.isEmpty() && !run_.record.Open(call_.record, error)) {
        Complain(QStringLiteral("cannot open the record %1: %2; nothing was sent")
                     .arg(ParameterText::Printable(call_.record, 200), error));
        return End(kFailed);
    }
    line_.insert(QStringLiteral("sha256"), FileSha256(call_.files.at(0)));
    if (!LoadFile(run_.files, call_.files.at(0)) || StopSignal())
        return End(kFailed);
    Connect();
}

void WriteCommand::Connected(int code) {
    TakeIdentification(program_.State, line_);
    if (code != kOk || StopSignal())
        return End(code);
    // Opened again now that the controller is known: its serial-number check.
    if (!LoadFile(run_.files, call_.files.at(0)))
        return End(kFailed);
    WarnOfLineChanges();
    auto* store = Watch(QMXModule::StoreConfigToController(link_, program_.Config, this));
    connect(store, &Series::Finished, this,
            [this, store](const Result& result) { Stored(result, store->Report()); });
}

// No question: the write goes on, --yes or not.
void WriteCommand::WarnOfLineChanges() {
    const Language lang = program_.Lang();
    const QStringList warnings =
        LineWarnings(program_.Config, program_.Options.ComSpeed, ControllerValues(), lang);
    const QString prefix = lang.JaEn(QStringLiteral("警告: "), QStringLiteral("warning: "));
    for (const QString& warning : warnings)
        std::fprintf(stderr, "qmxcli: %s\n", qUtf8Printable(prefix + warning));
    line_.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(warnings));
}

// A refused or unanswered setting is named. A read-back that could not be made leaves the
// store uncertain, and its failure says to store again.
void WriteCommand::Stored(const Result& result, const StoreReport& report) {
    using ReadBack = StoreReport::ReadBack;
    const bool stored = Succeeded(result);
    line_.insert(QStringLiteral("written"), WrittenJson(report));
    if (report.readBack == ReadBack::Failed)
        return End(kFailed);
    if (report.readBack == ReadBack::Differs) {
        storeSaidSo_ = true;
        return StopSignal() ? End(kMismatch) : Compare(report.differences);
    }
    if (!stored && !report.interrupted) {
        Complain(QStringLiteral("write stopped: %1; %2")
                     .arg(StopText(report),
                          HoldsText(line_.value(QStringLiteral("written")).toObject())));
        return End(kFailed);
    }
    if (!call_.verify || StopSignal())
        return End(kOk);
    if (report.readBack == ReadBack::Matched)
        return Compare({});
    auto* verify = Watch(QMXModule::VerifyStore(link_, program_.Config, this));
    connect(verify, &Series::Finished, this,
            [this, verify](const Result& verified) { Verified(verified, verify->Differences()); });
}

void WriteCommand::Verified(const Result& result, const QList<StoreDifference>& differences) {
    if (!Succeeded(result))
        return End(kFailed);
    Compare(differences);
}

void WriteCommand::Compare(const QList<StoreDifference>& differences) {
    differences_ = differences;
    if (differences_.isEmpty())
        return ListDifferences();
    // The differing values once more, converted into the record's units.
    readBack_ = program_.Config;
    auto* load = Watch(QMXModule::LoadConfigFromController(link_, readBack_, this));
    connect(load, &Series::Finished, this, &WriteCommand::ReadBack);
}

void WriteCommand::ReadBack(const Result& result) {
    if (!Succeeded(result))
        return End(kFailed);
    ListDifferences();
}

void WriteCommand::ListDifferences() {
    const ConfigRecord& sent = program_.Config;
    QJsonObject listed;
    for (const StoreDifference& d : std::as_const(differences_)) {
        const RecordField& field = RecordFields::Row(d.field);
        listed.insert(Name(field), DifferenceJson(field, sent, readBack_, d));
        if (!call_.json)
            Out() << "verify: " << Name(field) << ": sent " << RecordFields::ShowValue(field, sent)
                  << ", read back " << RecordFields::ShowValue(field, readBack_) << " (controller "
                  << d.sent << ", " << ParameterText::Printable(d.readBack, 20) << ")\n";
    }
    line_.insert(QStringLiteral("differences"), listed);
    if (call_.verify)
        line_.insert(QStringLiteral("verified"), differences_.isEmpty());
    if (!differences_.isEmpty() && !storeSaidSo_)
        Complain(QStringLiteral("verify: the controller holds other values than were sent: %1")
                     .arg(listed.keys().join(QStringLiteral(", "))));
    if (!call_.json && differences_.isEmpty())
        Out() << "verify: the controller holds every parameter sent\n";
    End(differences_.isEmpty() ? kOk : kMismatch);
}

} // namespace

// The record's line is appended, and the JSON document printed, once the run's exit code is
// known.
std::unique_ptr<Task> WriteTask(const LinkContext& context) {
    return std::make_unique<WriteCommand>(context);
}

} // namespace cli

#include "WriteCommand.moc"

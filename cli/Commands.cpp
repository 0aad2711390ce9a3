#include "cli/Cli.h"

#include "files/FileModule.h"
#include "link/ComSupport.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"

#include <QTextStream>

namespace cli {

namespace {

int Connect(const Invocation& call) {
    const bool opened =
        call.device.isEmpty() ? ComSupport::ComOpen() : ComSupport::ComOpenDevice(call.device);
    if (!opened)
        return kFailed;
    if (!QMXModule::ConnectController()) {
        ComSupport::ComClose();
        return kNoController;
    }
    MainModule::State.IsConnected = kTrue;
    return kOk;
}

void Disconnect() {
    ComSupport::ComClose();
    MainModule::State.IsConnected = kFalse;
}

// Opens a file while no controller is connected: no serial-number question.
bool OpenFile(const QString& file) {
    return FileModule::LoadConfigFile(file);
}

using RecordFields::Name;

// A file date in local time; eight bytes that hold no date say so.
QString ShowDate(const QByteArray& image, int offset) {
    const QDateTime when = FileModule::FromOleDate(FileModule::ImageDate(image, offset));
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("invalid date");
}

} // namespace

QTextStream& Out() {
    static QTextStream out(stdout);
    return out;
}

int Info(const Invocation& call) {
    if (const int rc = Connect(call))
        return rc;
    const ProgramState& s = MainModule::State;
    Out() << "name = " << s.ControllerName << '\n'
          << "serial number = " << s.ControllerSerialNo << '\n'
          << "version = " << s.ControllerVersionText << '\n'
          << "revision = " << s.ControllerRevision << '\n'
          << "build date = " << s.ControllerBuildDate << '\n';
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
    const bool ok =
        FileModule::LoadConfigFile(call.files.at(0)) && QMXModule::StoreConfigToController();
    Disconnect();
    return ok ? kOk : kFailed;
}

int Show(const Invocation& call) {
    if (!OpenFile(call.files.at(0)))
        return kFailed;
    const QByteArray image = FileModule::FileImage();
    Out() << "created = " << ShowDate(image, FileModule::kCreatedOffset) << '\n'
          << "updated = " << ShowDate(image, FileModule::kUpdatedOffset) << '\n'
          << "version = " << FileModule::ImageVersion(image) << '\n'
          << "serial number = " << FileModule::ImageSerialNo(image) << '\n';
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
    if (!OpenFile(call.files.at(0)))
        return kFailed;
    const ConfigRecord fromFile = MainModule::Config;
    if (const int rc = Connect(call))
        return rc;
    const bool ok = QMXModule::LoadConfigFromController();
    Disconnect();
    if (!ok)
        return kFailed;
    int differences = 0;
    for (const RecordField* field : RecordFields::FileFields()) {
        if (RecordFields::SameMeaning(*field, field->get(MainModule::Config), field->get(fromFile)))
            continue;
        ++differences;
        Out() << Name(*field) << ": controller "
              << RecordFields::ShowValue(*field, MainModule::Config) << ", file "
              << RecordFields::ShowValue(*field, fromFile) << '\n';
    }
    if (differences == 0)
        Out() << "no differences\n";
    return kOk;
}

} // namespace cli

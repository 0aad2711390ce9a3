#include "cli/Cli.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "shell/MainModule.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTextStream>

// export and import: parameter sets as text files that can be kept in version control.

namespace cli {

namespace {

// The target of export or import: a regular file, replaced only with --yes, never the source.
int CheckTarget(const Invocation& call, const QString& source, const QString& target) {
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        Complain(
            QStringLiteral("%1 is not a regular file (a folder, a device or a pipe)").arg(target));
        return kFailed;
    }
    if (info.exists() && info.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        Complain(QStringLiteral("%1 is the file being read; give another name").arg(target));
        return kFailed;
    }
    if (info.exists() && !call.yes) {
        Complain(QStringLiteral("%1 exists; give --yes to replace it").arg(target));
        return kFailed;
    }
    return kOk;
}

QString ExportText(const QString& source) {
    const QByteArray image = FileModule::FileImage();
    const auto date = [&image](int offset) {
        return FileModule::ImageDateText(image, offset);
    };
    return ParameterText::Export(
        MainModule::Config, {QStringLiteral("QMX-001 parameters, exported by qmxcli"),
                             QStringLiteral("source: ") + source,
                             QStringLiteral("created: ") + date(FileModule::kCreatedOffset),
                             QStringLiteral("updated: ") + date(FileModule::kUpdatedOffset),
                             QStringLiteral("serial number: ") + FileModule::ImageSerialNo(image)});
}

// The text of an import: a file that cannot be read is a failure (2); one too large to be a
// parameter set, or not UTF-8, is refused as bad input (1).
std::optional<QString> ReadText(const QString& fileName, int& rc) {
    QFile in(fileName);
    QString error;
    rc = kFailed;
    if (FileModule::IsSpecialFile(fileName)) {
        error = QStringLiteral("not a regular file (a folder, a device or a pipe)");
    } else if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
    } else {
        rc = kBadArguments;
        if (in.size() <= ParameterText::kMaxTextSize)
            if (auto text = ParameterText::DecodeText(in.readAll(), error))
                return text;
        if (error.isEmpty())
            error = QStringLiteral("%1 bytes; a parameter text is far smaller (at most %2)")
                        .arg(in.size())
                        .arg(ParameterText::kMaxTextSize);
    }
    Complain(QStringLiteral("%1: %2").arg(fileName, error));
    return std::nullopt;
}

// The record the parameters a text omits come from: --base FILE or --defaults.
std::optional<ConfigRecord> BaseRecord(const Invocation& call) {
    if (call.baseIsDefaults || call.base.isEmpty())
        return FactoryDefaults();
    if (!FileModule::LoadConfigFile(call.base))
        return std::nullopt;
    return MainModule::Config;
}

// "a, b, c", or the first few and how many more.
QString NameList(const QStringList& names) {
    constexpr qsizetype kShown = 6;
    if (names.size() <= kShown)
        return names.join(QStringLiteral(", "));
    return QStringLiteral("%1 and %2 more of the %3 parameters")
        .arg(names.first(kShown).join(QStringLiteral(", ")) + u',')
        .arg(names.size() - kShown)
        .arg(names.size());
}

// The import's messages; false when it is refused.
bool ReportImport(const Invocation& call, const ParameterText::Imported& imported) {
    const QString& file = call.files.at(0);
    for (const QString& warning : imported.warnings)
        std::fprintf(stderr, "qmxcli: %s: warning: %s\n", qUtf8Printable(file),
                     qUtf8Printable(warning));
    for (const QString& error : imported.errors)
        Complain(QStringLiteral("%1: %2").arg(file, error));
    if (imported.unshownErrors > 0)
        Complain(QStringLiteral("%1: %2 more errors").arg(file).arg(imported.unshownErrors));
    if (!imported.errors.isEmpty())
        return false;
    const bool complete = imported.missing.isEmpty() || call.baseIsDefaults || !call.base.isEmpty();
    if (!complete)
        Complain(QStringLiteral("%1: not given: %2 (give every parameter, or --base FILE.QMX or "
                                "--defaults for where the missing ones come from)")
                     .arg(file, NameList(imported.missing)));
    if (call.json)
        PrintJson({{QStringLiteral("warnings"), QJsonArray::fromStringList(imported.warnings)}});
    return complete;
}

} // namespace

int Export(const Invocation& call) {
    const QString source = call.files.at(0);
    if (call.files.size() > 1)
        if (const int rc = CheckTarget(call, source, call.files.at(1)))
            return rc;
    if (!FileModule::LoadConfigFile(source))
        return kFailed;
    const QString text = ExportText(source);
    if (call.files.size() < 2) {
        if (call.json)
            PrintJson({{QStringLiteral("text"), text}});
        else
            Out() << text;
        return kOk;
    }
    QString error;
    if (!FileModule::WriteWholeFile(call.files.at(1), text.toUtf8(), error)) {
        Complain(QStringLiteral("%1: %2").arg(call.files.at(1), error));
        return kFailed;
    }
    if (call.json)
        PrintJson({{QStringLiteral("file"), call.files.at(1)}});
    return kOk;
}

int Import(const Invocation& call) {
    if (const int rc = CheckTarget(call, call.files.at(0), call.files.at(1)))
        return rc;
    int rc = kOk;
    const std::optional<QString> text = ReadText(call.files.at(0), rc);
    if (!text)
        return rc;
    const std::optional<ConfigRecord> base = BaseRecord(call);
    if (!base)
        return kFailed;
    const ParameterText::Imported imported = ParameterText::Import(*text, *base);
    if (!ReportImport(call, imported))
        return kBadArguments; // nothing is written
    MainModule::Config = imported.record;
    // --yes was checked above; the file is new or may be replaced.
    if (!FileModule::CreateConfigFile(call.files.at(1)))
        return kFailed;
    if (call.json)
        PrintJson({{QStringLiteral("file"), call.files.at(1)}});
    return kOk;
}

} // namespace cli

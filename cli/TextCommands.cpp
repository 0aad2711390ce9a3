#include "cli/Cli.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTextStream>

// export and import: parameter sets as text files that can be kept in version control.

namespace cli {

namespace {

// "-" for a file name: standard input or output.
bool IsStandardStream(const QString& fileName) {
    return fileName == u"-";
}

QString ShownName(const QString& fileName) {
    return IsStandardStream(fileName) ? QStringLiteral("standard input")
                                      : ParameterText::Printable(fileName, 200);
}

bool OpenText(QFile& in, const QString& fileName) {
    if (IsStandardStream(fileName))
        return in.open(stdin, QIODevice::ReadOnly);
    in.setFileName(fileName);
    return in.open(QIODevice::ReadOnly);
}

// The target of export or import: a regular file, replaced only with --yes, never the source.
int CheckTarget(const Invocation& call, const QString& source, const QString& target) {
    const QFileInfo info(target);
    const QString name = ParameterText::Printable(target, 200);
    if (info.exists() && !info.isFile()) {
        Complain(
            QStringLiteral("%1 is not a regular file (a folder, a device or a pipe)").arg(name));
        return kFailed;
    }
    if (info.exists() && !IsStandardStream(source) &&
        info.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        Complain(QStringLiteral("%1 is the file being read; give another name").arg(name));
        return kFailed;
    }
    if ((info.exists() || info.isSymLink()) && !call.yes) {
        Complain(ExistsText(target));
        return kFailed;
    }
    return kOk;
}

// The reserved bytes of a .QMX are no parameters: the text does not carry them.
QStringList ReservedBytesWarning(const FileModule& files, const QString& source) {
    const QByteArray image = files.FileImage();
    for (const auto& [offset, size] : {std::pair{FileModule::kHeaderReservedOffset, 19},
                                       std::pair{FileModule::kParams1Offset + 48, 48},
                                       std::pair{FileModule::kFileSize - 10, 10}})
        if (image.mid(offset, size).count('\0') != size)
            return {QStringLiteral("%1 holds reserved bytes other than 0; the text does not "
                                   "carry them, and import writes them as 0")
                        .arg(ParameterText::Printable(source, 200))};
    return {};
}

QString ExportText(const Run& run, const QString& source) {
    const QByteArray image = run.files.FileImage();
    const auto date = [&image](int offset) {
        return FileModule::ImageDateText(image, offset);
    };
    return ParameterText::Export(
        run.program.Config, {QStringLiteral("QMX-001 parameters, exported by qmxcli"),
                             QStringLiteral("source: ") + source,
                             QStringLiteral("created: ") + date(FileModule::kCreatedOffset),
                             QStringLiteral("updated: ") + date(FileModule::kUpdatedOffset),
                             QStringLiteral("serial number: ") + FileModule::ImageSerialNo(image)});
}

// The text of an import, from a file, a pipe or standard input ("-"): one that cannot be read
// is a failure (2); one too large to be a parameter set, or not UTF-8, is refused as bad input
// (1). Only so much is read as a parameter set can be, whatever the source holds.
std::optional<QString> ReadText(const QString& fileName, int& rc) {
    QFile in;
    QString error;
    rc = kFailed;
    if (QFileInfo(fileName).isDir()) {
        error = QStringLiteral("a folder, not a text file");
    } else if (!OpenText(in, fileName)) {
        error = in.errorString();
    } else {
        const QByteArray bytes = in.read(ParameterText::kMaxTextSize + 1);
        rc = in.error() == QFileDevice::NoError ? kBadArguments : kFailed;
        if (rc == kFailed)
            error = in.errorString();
        else if (bytes.size() <= ParameterText::kMaxTextSize)
            if (auto text = ParameterText::DecodeText(bytes, error))
                return text;
        if (error.isEmpty())
            error = QStringLiteral("larger than %1 bytes; a parameter text is far smaller")
                        .arg(ParameterText::kMaxTextSize);
    }
    Complain(QStringLiteral("%1: %2").arg(ShownName(fileName), error));
    return std::nullopt;
}

// The record the parameters a text omits come from: --base FILE or --defaults.
std::optional<ConfigRecord> BaseRecord(Run& run, const Invocation& call) {
    if (call.baseIsDefaults || call.base.isEmpty())
        return FactoryDefaults();
    if (!LoadFile(run.files, call.base))
        return std::nullopt;
    return run.program.Config;
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
    const QString file = ShownName(call.files.at(0));
    for (const QString& warning : imported.warnings)
        std::fprintf(stderr, "qmxcli: %s: warning: %s\n", qUtf8Printable(file),
                     qUtf8Printable(warning));
    if (imported.unshownWarnings > 0)
        std::fprintf(stderr, "qmxcli: %s: %d more warnings\n", qUtf8Printable(file),
                     imported.unshownWarnings);
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

QString ExistsText(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString name = ParameterText::Printable(fileName, 200);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("%1 is a symbolic link to %2, which does not exist; give --yes to "
                              "write through it")
            .arg(name, ParameterText::Printable(info.symLinkTarget(), 200));
    return QStringLiteral("%1 exists; give --yes to replace it").arg(name);
}

int Export(Run& run, const Invocation& call) {
    const QString source = call.files.at(0);
    const QString target = call.files.value(1, QStringLiteral("-"));
    if (!IsStandardStream(target))
        if (const int rc = CheckTarget(call, source, target))
            return rc;
    if (!LoadFile(run.files, source))
        return kFailed;
    const QString text = ExportText(run, source);
    const QStringList warnings = ReservedBytesWarning(run.files, source);
    for (const QString& warning : warnings)
        std::fprintf(stderr, "qmxcli: warning: %s\n", qUtf8Printable(warning));
    if (call.json)
        PrintJson({{QStringLiteral("text"), text},
                   {QStringLiteral("warnings"), QJsonArray::fromStringList(warnings)}});
    if (IsStandardStream(target)) {
        if (!call.json)
            Out() << text;
        return kOk;
    }
    QString error;
    if (!FileModule::WriteWholeFile(target, text.toUtf8(), error, run.program.Lang())) {
        Complain(QStringLiteral("%1: %2").arg(ParameterText::Printable(target, 200), error));
        return kFailed;
    }
    return kOk;
}

int Import(Run& run, const Invocation& call) {
    if (const int rc = CheckTarget(call, call.files.at(0), call.files.at(1)))
        return rc;
    int rc = kOk;
    const std::optional<QString> text = ReadText(call.files.at(0), rc);
    if (!text)
        return rc;
    const std::optional<ConfigRecord> base = BaseRecord(run, call);
    if (!base)
        return kFailed;
    const ParameterText::Imported imported = ParameterText::Import(*text, *base);
    if (!ReportImport(call, imported))
        return kBadArguments; // nothing is written
    run.program.Config = imported.record;
    // --yes was checked above; the file is new or may be replaced.
    return CreateFile(run.files, call.files.at(1)) ? kOk : kFailed;
}

} // namespace cli

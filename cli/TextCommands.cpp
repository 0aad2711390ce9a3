#include "cli/Cli.h"

#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "shell/MainModule.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

// export and import: parameter sets as text files that can be kept in version control.

namespace cli {

int Export(const Invocation& call) {
    const QString source = call.files.at(0);
    if (!FileModule::LoadConfigFile(source))
        return kFailed;
    const QByteArray image = FileModule::FileImage();
    const auto date = [&image](int offset) {
        return FileModule::ImageDateText(image, offset);
    };
    const QString text = ParameterText::Export(
        MainModule::Config, {QStringLiteral("QMX-001 parameters, exported by qmxcli"),
                             QStringLiteral("source: ") + source,
                             QStringLiteral("created: ") + date(FileModule::kCreatedOffset),
                             QStringLiteral("updated: ") + date(FileModule::kUpdatedOffset),
                             QStringLiteral("serial number: ") + FileModule::ImageSerialNo(image)});
    if (call.files.size() < 2) {
        Out() << text;
        return kOk;
    }
    QSaveFile out(call.files.at(1));
    if (out.open(QIODevice::WriteOnly | QIODevice::Text) && out.write(text.toUtf8()) >= 0 &&
        out.commit())
        return kOk;
    std::fprintf(stderr, "qmxcli: %s: %s\n", qUtf8Printable(call.files.at(1)),
                 qUtf8Printable(out.errorString()));
    return kFailed;
}

int Import(const Invocation& call) {
    QFile in(call.files.at(0));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "qmxcli: %s: %s\n", qUtf8Printable(call.files.at(0)),
                     qUtf8Printable(in.errorString()));
        return kFailed;
    }
    const ParameterText::Imported imported = ParameterText::Import(QString::fromUtf8(in.readAll()));
    for (const QString& error : imported.errors)
        std::fprintf(stderr, "qmxcli: %s: %s\n", qUtf8Printable(call.files.at(0)),
                     qUtf8Printable(error));
    if (!imported.errors.isEmpty())
        return kBadArguments; // nothing is written
    if (!imported.missing.isEmpty())
        std::fprintf(stderr, "qmxcli: not given, factory values used: %s\n",
                     qUtf8Printable(imported.missing.join(QStringLiteral(", "))));
    MainModule::Config = imported.record;
    return FileModule::CreateConfigFile(call.files.at(1)) ? kOk : kFailed;
}

} // namespace cli

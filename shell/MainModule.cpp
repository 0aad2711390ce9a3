#include "shell/MainModule.h"

#include "shell/Numbers.h"

namespace MainModule {

namespace {
constexpr QChar kIdeographicBlank = QChar(0x3000);
} // namespace

void SetControllerPlaceholders(ControllerInfo& info) {
    info.ControllerName = QString(16, u'x');
    info.ControllerSerialNo = QString(10, u'x');
    info.ControllerVersionText = QStringLiteral("x.xx");
    info.ControllerVersion = 0.0;
    info.ControllerRevision.clear();
    info.ControllerBuildDate.clear();
}

void InitProgram(Program& program, const QString& commandLine) {
    program = Program{};
    SetControllerPlaceholders(program.State);
    ParseCommandLine(program, commandLine);
}

void ParseCommandLine(Program& program, const QString& commandLine) {
    const QString text = commandLine.toUpper();
    QString option;
    for (const QChar c : text) {
        if (c == u'/') {
            option = QStringLiteral("/");
        } else if (option.startsWith(u'/')) {
            if (c == u' ' || c == kIdeographicBlank) {
                ApplyCommandOption(program, option);
                option.clear();
            } else {
                option.append(c);
            }
        }
    }
    if (option.startsWith(u'/'))
        ApplyCommandOption(program, option);
}

void ApplyCommandOption(Program& program, const QString& option) {
    if (option == QLatin1String("/EXT"))
        program.State.ExtendedMode = kTrue;
    if (option.startsWith(QLatin1String("/COM:")) && (option.size() == 6 || option.size() == 7)) {
        const double n = Numbers::RoundHalfEven(Numbers::ReadNumber(QStringView(option).mid(5)));
        if (n >= 1 && n <= 16)
            program.Options.ComPort = static_cast<qint16>(n);
    }
    if (option == QLatin1String("/L:E"))
        program.State.UILanguage = 1;
}

QString WindowTitle(Language language) {
    const QString head = language.JaEn(QStringLiteral("QMX-001 設定プログラム  "),
                                       QStringLiteral("QMX-001 Configuration  "));
    return head + QLatin1String(kVersionText) + QStringLiteral("  ") +
           QStringLiteral("Open-source configuration utility for the QMX-001");
}

} // namespace MainModule

#include "shell/MainModule.h"

#include "shell/Numbers.h"

namespace MainModule {

ProgramState State;
ProgramOptions Options;

namespace {
constexpr QChar kIdeographicBlank = QChar(0x3000);
const QString kNotice = QStringLiteral("Open-source configuration utility for the QMX-001");
} // namespace

void SetControllerPlaceholders() {
    State.ControllerName = QString(16, u'x');
    State.ControllerSerialNo = QString(10, u'x');
    State.ControllerVersionText = QStringLiteral("x.xx");
    State.ControllerVersion = 0.0;
    State.ControllerRevision.clear();
    State.ControllerBuildDate.clear();
}

void InitProgram(const QString& commandLine) {
    State.IsConnected = kFalse;
    ResetToFactoryDefaults();
    SetControllerPlaceholders();
    Options = ProgramOptions{};
    State.UILanguage = 0;
    State.CurrentFileName.clear();
    State.ExtendedMode = kFalse;
    ParseCommandLine(commandLine);
}

void ParseCommandLine(const QString& commandLine) {
    const QString text = commandLine.toUpper();
    QString option;
    for (const QChar c : text) {
        if (c == u'/') {
            option = QStringLiteral("/");
        } else if (option.startsWith(u'/')) {
            if (c == u' ' || c == kIdeographicBlank) {
                ApplyCommandOption(option);
                option.clear();
            } else {
                option.append(c);
            }
        }
    }
    if (option.startsWith(u'/'))
        ApplyCommandOption(option);
}

void ApplyCommandOption(const QString& option) {
    if (option == QLatin1String("/EXT"))
        State.ExtendedMode = kTrue;
    if (option.startsWith(QLatin1String("/COM:")) && (option.size() == 6 || option.size() == 7)) {
        const double n = Numbers::RoundHalfEven(Numbers::ReadNumber(QStringView(option).mid(5)));
        if (n >= 1 && n <= 16)
            Options.ComPort = static_cast<qint16>(n);
    }
    if (option == QLatin1String("/L:E"))
        State.UILanguage = 1;
}

QString WindowTitle() {
    const QString head = English() ? QStringLiteral("QMX-001 Configuration  ")
                                   : QStringLiteral("QMX-001 設定プログラム  ");
    return head + QLatin1String(kVersionText) + QStringLiteral("  ") + kNotice;
}

} // namespace MainModule

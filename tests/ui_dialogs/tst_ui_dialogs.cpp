#include "link/ComSupport.h"
#include "platform/Ports.h"
#include "shell/MainModule.h"
#include "tests/support/Scripted.h"
#include "tests/support/WindowDriver.h"
#include "ui/about/frmAbout.h"
#include "ui/options/frmOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

// A link value ComInit never produces: still there means the link was not re-initialised.
constexpr qint16 kUntouched = 99;

// What the Options dialog works on, the test's own: the program's options from the command
// line, and a link in the dialog's language that nothing has initialised yet.
struct Setting {
    explicit Setting(Language language = {}, const QString& commandLine = {}) : link(language) {
        MainModule::InitProgram(program, commandLine);
        link.ComInit(kUntouched, kUntouched - 1);
    }
    Program program;
    ComSupport link;
};

QWidget* Control(QWidget* dialog, const QString& name) {
    auto* widget = dialog->findChild<QWidget*>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

// Works the dialog as the operator would: brings the control's tab forward and clicks it.
void Act(frmOptions& dialog, const QString& action) {
    if (action == QLatin1String("Esc"))
        return QTest::keyClick(&dialog, Qt::Key_Escape);
    if (action == QLatin1String("close")) {
        dialog.close();
        return;
    }
    QWidget* widget = Control(&dialog, action);
    for (int i = 0; i < dialog.OptionTab->count(); ++i) {
        if (dialog.OptionTab->widget(i)->isAncestorOf(widget))
            dialog.OptionTab->setCurrentIndex(i);
    }
    const bool indicator = qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
    const QPoint at = indicator ? QPoint(8, widget->height() / 2) : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
}

QString Caption(QWidget* dialog, const QString& name) {
    if (name == dialog->objectName())
        return dialog->windowTitle();
    if (name.startsWith(QLatin1String("OptionTab(")))
        return static_cast<frmOptions*>(dialog)->OptionTab->tabText(name.mid(10, 1).toInt());
    QWidget* widget = Control(dialog, name);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget))
        return frame->title();
    return {};
}

int CheckedIndex(const auto& buttons) {
    int found = -1;
    for (int i = 0; i < int(buttons.size()); ++i) {
        if (buttons[i]->isChecked())
            found = found == -1 ? i : -2; // -2: more than one
    }
    return found;
}

} // namespace

class TestUiDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openState_data();
    void openState();
    void buttons_data();
    void buttons();
    void applyEnabledByClick_data();
    void applyEnabledByClick();
    void optionCaptions_data();
    void optionCaptions();
    void portTooltips();
    void everyControlSpeaksForItself_data();
    void everyControlSpeaksForItself();
    void modalOpening();
    void aboutTexts_data();
    void aboutTexts();
    void aboutCloses_data();
    void aboutCloses();
    void aboutGeometry();
    void nothingClipped_data();
    void nothingClipped();
    void pictures();
};

void TestUiDialogs::initTestCase() {
    // The offscreen platform complains about every fixed-size window.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QLatin1String("propagateSizeHints")))
                previous(type, context, text);
        });
    QFont::insertSubstitutions(QString::fromUtf8("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    QApplication::setFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
    testing::UseTemporarySettings();
    qputenv("QMX_COM5", "/dev/ttyUSB7");
    qunsetenv("QMX_COM3");
    qunsetenv("QMX_COM4");
}

void TestUiDialogs::openState_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("inverted"); // switches and speed away from their start values
    QTest::addColumn<int>("portIndex");

    QTest::newRow("start values") << "" << false << 0;
    QTest::newRow("port from command line") << "/COM:5" << false << 4;
    QTest::newRow("last port, switches inverted") << "/com:16" << true << 15;
}

void TestUiDialogs::openState() {
    QFETCH(QString, commandLine);
    QFETCH(bool, inverted);
    QFETCH(int, portIndex);
    Setting setting({}, commandLine);
    ProgramOptions& options = setting.program.Options;
    if (inverted)
        options = {kTrue, kFalse, kFalse, options.ComPort, 3};

    frmOptions dialog(options, setting.link);
    QCOMPARE(CheckedIndex(dialog.ComPortOption), portIndex);
    QCOMPARE(CheckedIndex(dialog.ComSpeedOption), inverted ? 3 : 1);
    QCOMPARE(dialog.SysSetupCheck[0]->isChecked(), inverted);
    QCOMPARE(dialog.SysSetupCheck[1]->isChecked(), !inverted);
    QCOMPARE(dialog.SysSetupCheck[2]->isChecked(), !inverted);
    // Filling the controls is no change.
    QVERIFY(!dialog.cmdApply->isEnabled());
    QCOMPARE(dialog.OptionsChanged, kFalse);
    QCOMPARE(dialog.OptionsLoaded, kTrue);
}

void TestUiDialogs::buttons_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("switches"); // LoadOnConnect, ConfirmStore, CheckSerialNo
    QTest::addColumn<bool>("reinitialised");
    QTest::addColumn<bool>("stillOpen");

    QTest::newRow("OK untouched") << QStringList{"cmdOK"} << 1 << 1 << "FTT" << false << false;
    QTest::newRow("Enter untouched") << QStringList{} << 1 << 1 << "FTT" << false << false;
    QTest::newRow("port, APPLY, CANCEL") << QStringList{"ComPortOption(7)", "cmdApply", "cmdCancel"}
                                         << 8 << 1 << "FTT" << true << false;
    QTest::newRow("speed, CANCEL")
        << QStringList{"ComSpeedOption(3)", "cmdCancel"} << 1 << 1 << "FTT" << false << false;
    QTest::newRow("speed, close") << QStringList{"ComSpeedOption(3)", "close"} << 1 << 1 << "FTT"
                                  << false << false;
    QTest::newRow("speed, Esc") << QStringList{"ComSpeedOption(0)", "Esc"} << 1 << 1 << "FTT"
                                << false << false;
    QTest::newRow("port and speed, OK")
        << QStringList{"ComPortOption(5)", "ComSpeedOption(2)", "cmdOK"} << 6 << 2 << "FTT" << true
        << false;
    QTest::newRow("APPLY, more changes, CANCEL")
        << QStringList{"ComSpeedOption(3)", "cmdApply", "ComPortOption(1)", "cmdCancel"} << 1 << 3
        << "FTT" << true << false;
    QTest::newRow("APPLY stays open")
        << QStringList{"ComSpeedOption(0)", "cmdApply"} << 1 << 0 << "FTT" << true << true;
    QTest::newRow("switches, OK") << QStringList{"SysSetupCheck(0)", "SysSetupCheck(1)", "cmdOK"}
                                  << 1 << 1 << "TFT" << true << false;
    QTest::newRow("label works its box")
        << QStringList{"SysSetupLabel(2)", "cmdOK"} << 1 << 1 << "FTF" << true << false;
    QTest::newRow("APPLY disabled at open")
        << QStringList{"cmdApply"} << 1 << 1 << "FTT" << false << true;
    QTest::newRow("selected port again")
        << QStringList{"ComPortOption(0)", "cmdOK"} << 1 << 1 << "FTT" << false << false;
}

void TestUiDialogs::buttons() {
    QFETCH(QStringList, actions);
    QFETCH(int, port);
    QFETCH(int, speed);
    QFETCH(QString, switches);
    QFETCH(bool, reinitialised);
    QFETCH(bool, stillOpen);

    Setting setting;
    frmOptions dialog(setting.program.Options, setting.link);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (actions.isEmpty())
        QTest::keyClick(&dialog, Qt::Key_Return);
    for (const QString& action : actions)
        Act(dialog, action);

    const ProgramOptions& options = setting.program.Options;
    QCOMPARE(options.ComPort, port);
    QCOMPARE(options.ComSpeed, speed);
    const auto flag = [&](int i) {
        return switches[i] == u'T' ? kTrue : kFalse;
    };
    QCOMPARE(options.LoadOnConnect, flag(0));
    QCOMPARE(options.ConfirmStore, flag(1));
    QCOMPARE(options.CheckSerialNo, flag(2));
    QCOMPARE(setting.link.ComPortNumber(), reinitialised ? port : kUntouched);
    QCOMPARE(setting.link.ComSpeedCode(), reinitialised ? speed + 1 : kUntouched);
    QCOMPARE(dialog.isVisible(), stillOpen);
}

void TestUiDialogs::applyEnabledByClick_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("check box") << "SysSetupCheck(1)";
    QTest::newRow("port") << "ComPortOption(15)";
    QTest::newRow("speed") << "ComSpeedOption(0)";
}

void TestUiDialogs::applyEnabledByClick() {
    QFETCH(QString, control);
    Setting setting;
    frmOptions dialog(setting.program.Options, setting.link);
    dialog.show();
    QVERIFY(!dialog.cmdApply->isEnabled());
    Act(dialog, control);
    QVERIFY(dialog.cmdApply->isEnabled());
    QCOMPARE(dialog.OptionsChanged, kTrue);
    Act(dialog, "cmdApply");
    QVERIFY(!dialog.cmdApply->isEnabled());
    QCOMPARE(dialog.OptionsChanged, kFalse);
    QVERIFY(setting.link.ComPortNumber() != kUntouched);
}

void TestUiDialogs::optionCaptions_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("caption");

    const struct {
        const char* control;
        const char* japanese;
        const char* english;
    } rows[] = {
        {"frmOptions", "ｵﾌﾟｼｮﾝ", "Options"},
        {"OptionTab(0)", "動作設定", "OPERATION"},
        {"OptionTab(1)", "通信設定", "COMMUNICATION"},
        {"cmdOK", "OK", "OK"},
        {"cmdCancel", "ｷｬﾝｾﾙ", "CANCEL"},
        {"cmdApply", "適用(&A)", "APPLY"},
        {"SysSetupTitle", "設定プログラムの動作条件を設定します",
         "Setting of QMX-001 Configuration"},
        {"SysSetupLabel(0)", "QMX-001との接続時に設定値を読み込む",
         "Connect with load config data"},
        {"SysSetupLabel(1)", "QMX-001への設定値書込み時に確認する",
         "Check value writing of QMX-001"},
        {"SysSetupLabel(2)", "読込／書込時にQMX-001のシリアル番号を確認する",
         "It checks at connect at QMX-001"},
        {"SysSetupCheck(0)", "", ""},
        {"ComSetupTitle", "QMX-001との通信条件を設定します", "Setting of PC COM port"},
        {"ComPortFrame", "通信ポート", "COM PORT"},
        {"ComSpeedFrame", "通信速度", "BAUD RATE"},
        {"ComPortOption(0)", "COM 1", "COM 1"},
        {"ComPortOption(15)", "COM 16", "COM 16"},
        {"ComSpeedOption(0)", " 4800", " 4800"},
        {"ComSpeedOption(1)", " 9600", " 9600"},
        {"ComSpeedOption(2)", "19200", "19200"},
        {"ComSpeedOption(3)", "38400", "38400"},
    };
    for (const auto& r : rows) {
        QTest::addRow("%s ja", r.control) << 0 << r.control << QString::fromUtf8(r.japanese);
        QTest::addRow("%s en", r.control) << 1 << r.control << QString::fromUtf8(r.english);
    }
}

void TestUiDialogs::optionCaptions() {
    QFETCH(int, language);
    QFETCH(QString, control);
    QFETCH(QString, caption);
    Setting setting(Language::FromCode(language));
    frmOptions dialog(setting.program.Options, setting.link);
    QCOMPARE(Caption(&dialog, control), caption);
}

void TestUiDialogs::portTooltips() {
#ifndef Q_OS_WIN
    // The settings file maps COM 3 to 5; the environment wins for COM 5.
    platform::MapComPort(3, QDir::tempPath());
    platform::MapComPort(4, QStringLiteral("/nonexistent/ttyQMX"));
    platform::MapComPort(5, QStringLiteral("/dev/ttyACM9"));
    for (const qint16 language : {0, 1}) {
        Setting setting(Language::FromCode(language));
        frmOptions dialog(setting.program.Options, setting.link);
        // That the device exists, never that a controller is connected.
        const QString present = language ? QStringLiteral(" (present)") : " (存在します)";
        const QString absent = language ? QStringLiteral(" (not present)") : " (見つかりません)";
        QCOMPARE(dialog.ComPortOption[2]->toolTip(), QDir::tempPath() + present);
        QCOMPARE(dialog.ComPortOption[3]->toolTip(), "/nonexistent/ttyQMX" + absent);
        QCOMPARE(dialog.ComPortOption[4]->toolTip(), "/dev/ttyUSB7" + absent);
    }
    for (const int n : {3, 4, 5})
        platform::MapComPort(n, {});
    QCOMPARE(platform::ComPortDeviceName(3), QStringLiteral("/dev/ttyS2"));
#endif
}

void TestUiDialogs::everyControlSpeaksForItself_data() {
    testing::AddLanguageRows();
}

// Both dialogs as a screen reader meets them; the Options check boxes are named by the labels
// beside them, the speeds carry their unit.
void TestUiDialogs::everyControlSpeaksForItself() {
    QFETCH(bool, english);
    const Language language = english ? Language::English() : Language::Japanese();
    Setting setting(language);
    frmOptions options(setting.program.Options, setting.link);
    frmAbout about(language);
    for (QWidget* dialog : {static_cast<QWidget*>(&options), static_cast<QWidget*>(&about)}) {
        const QStringList problems = testing::AccessibilityProblems(dialog);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }
    const auto name = [](QWidget* control) {
        return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
    };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(name(options.SysSetupCheck[i]), options.SysSetupLabel[i]->text());
    QCOMPARE(name(options.ComSpeedOption[0]), options.ComSpeedFrame->title() + ", 4800 bps");
    QCOMPARE(name(options.ComSpeedOption[3]), options.ComSpeedFrame->title() + ", 38400 bps");
}

void TestUiDialogs::modalOpening() {
    Setting setting;
    QWidget owner;
    owner.show();
    QWidget* seenOwner = nullptr;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmOptions*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seenOwner = dialog->parentWidget();
        Act(*dialog, "ComPortOption(11)");
        Act(*dialog, "cmdOK");
    });
    QCOMPARE(frmOptions::ShowModal(&owner, setting.program.Options, setting.link),
             int(QDialog::Accepted));
    QCOMPARE(seenOwner, &owner);
    QCOMPARE(setting.program.Options.ComPort, 12);

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(frmAbout::ShowModal(&owner, Language()), int(QDialog::Rejected));
}

void TestUiDialogs::aboutTexts_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("Japanese") << 0 << QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報")
                              << QString::fromUtf8("QMX-001 設定プログラム");
    QTest::newRow("English") << 1 << "About QMX-001 Configratrion"
                             << "QMX-001 Configuration";
}

void TestUiDialogs::aboutTexts() {
    QFETCH(int, language);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    frmAbout box(Language::FromCode(language));
    QCOMPARE(box.windowTitle(), caption);
    QCOMPARE(box.lblTitle->text(), title);
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Ver 1.23"));
    QCOMPARE(box.cmdOK->text(), QStringLiteral("OK"));
    QVERIFY(!box.lblCopyright1->text().isEmpty() && !box.lblCopyright2->text().isEmpty());
    QVERIFY(!box.picIcon->pixmap().isNull());
}

void TestUiDialogs::aboutCloses_data() {
    QTest::addColumn<int>("key"); // 0: click cmdOK
    QTest::newRow("OK") << 0;
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

void TestUiDialogs::aboutCloses() {
    QFETCH(int, key);
    frmAbout box(Language{});
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    if (key)
        QTest::keyClick(&box, Qt::Key(key));
    else
        QTest::mouseClick(box.cmdOK, Qt::LeftButton);
    QVERIFY(!box.isVisible());
}

void TestUiDialogs::aboutGeometry() {
    QWidget owner;
    owner.setGeometry(150, 100, 500, 400);
    owner.show();
    frmAbout box(Language{}, &owner);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(361, 208));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QVERIFY(!(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const QPoint offset = box.frameGeometry().center() - owner.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestUiDialogs::nothingClipped_data() {
    QTest::addColumn<bool>("about");
    QTest::addColumn<int>("language");
    QTest::newRow("Options ja") << false << 0;
    QTest::newRow("Options en") << false << 1;
    QTest::newRow("About ja") << true << 0;
    QTest::newRow("About en") << true << 1;
}

// Every text fits its control in the application font.
void TestUiDialogs::nothingClipped() {
    QFETCH(bool, about);
    QFETCH(int, language);
    Setting setting(Language::FromCode(language));
    std::unique_ptr<QDialog> dialog(about ? static_cast<QDialog*>(new frmAbout(setting.link.Lang()))
                                          : new frmOptions(setting.program.Options, setting.link));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    auto* tabs = dialog->findChild<QTabWidget*>();
    for (int tab = 0; tab < (tabs ? tabs->count() : 1); ++tab) {
        if (tabs)
            tabs->setCurrentIndex(tab);
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            auto* label = qobject_cast<QLabel*>(widget);
            if (!widget->isVisible() || (!label && !qobject_cast<QAbstractButton*>(widget)))
                continue;
            const QSize need = label && label->wordWrap()
                                   ? QSize(0, label->heightForWidth(label->width()))
                                   : widget->minimumSizeHint();
            QVERIFY2(widget->width() >= need.width() && widget->height() >= need.height(),
                     qPrintable(widget->objectName()));
        }
    }
}

void TestUiDialogs::pictures() {
    const QString buildDir = qEnvironmentVariableIsSet("QMX_BUILD_DIR")
                                 ? qEnvironmentVariable("QMX_BUILD_DIR")
                                 : QDir::currentPath();
    QDir folder(buildDir);
    QVERIFY(folder.mkpath(QStringLiteral("pictures")) && folder.cd(QStringLiteral("pictures")));
    for (int language = 0; language < 2; ++language) {
        Setting setting(Language::FromCode(language));
        const QString suffix = language ? QStringLiteral("en") : QStringLiteral("ja");
        frmOptions options(setting.program.Options, setting.link);
        options.show();
        for (int tab = 0; tab < 2; ++tab) {
            options.OptionTab->setCurrentIndex(tab);
            const QString name = QStringLiteral("options-tab%1-%2.png").arg(tab).arg(suffix);
            QVERIFY(options.grab().save(folder.filePath(name)));
        }
        frmAbout about(setting.link.Lang());
        about.show();
        QVERIFY(about.grab().save(folder.filePath(QStringLiteral("about-%1.png").arg(suffix))));
    }
}

QTEST_MAIN(TestUiDialogs)
#include "tst_ui_dialogs.moc"

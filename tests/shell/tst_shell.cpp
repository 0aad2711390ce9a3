#include "shell/ConfigRecord.h"
#include "shell/EditRules.h"
#include "shell/MainModule.h"
#include "shell/Numbers.h"
#include "shell/RecordFields.h"

#include <set>

#include <QTest>

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void roundHalfEven_data();
    void roundHalfEven();
    void readNumber_data();
    void readNumber();
    void parseEntry_data();
    void parseEntry();
    void conversions();
    void conversionFailures();
    void factoryDefaults();
    void fieldTable();
    void editRules_data();
    void editRules();
    void presentingReadsTheRules();
    void title();
};

void TestShell::commandLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("extended");

    QTest::newRow("empty") << "" << 1 << 0 << false;
    QTest::newRow("lower case com") << "/com:3" << 3 << 0 << false;
    QTest::newRow("two digits") << "/COM:12" << 12 << 0 << false;
    QTest::newRow("leading zero") << "/COM:03" << 3 << 0 << false;
    QTest::newRow("above 16") << "/COM:17" << 1 << 0 << false;
    QTest::newRow("zero") << "/COM:0" << 1 << 0 << false;
    QTest::newRow("not a number") << "/COM:X" << 1 << 0 << false;
    QTest::newRow("too long") << "/COM:123" << 1 << 0 << false;
    QTest::newRow("blank after colon") << "/COM: 5" << 1 << 0 << false;
    QTest::newRow("half rounds to even") << "/COM:2.5" << 1 << 0 << false; // 8 characters
    QTest::newRow("fraction in length") << "/COM:9." << 9 << 0 << false;
    QTest::newRow("both") << "/EXT /L:E" << 1 << 1 << true;
    QTest::newRow("no blank between") << "/EXT/L:E" << 1 << 1 << false;
    QTest::newRow("ideographic blank") << QString::fromUtf8("/L:E\u3000/EXT") << 1 << 1 << true;
    QTest::newRow("whole match L:EN") << "/L:EN" << 1 << 0 << false;
    QTest::newRow("whole match EXTRA") << "/EXTRA" << 1 << 0 << false;
    QTest::newRow("text before slash") << "junk /l:e" << 1 << 1 << false;
    QTest::newRow("all three") << "/ext /com:16 /l:e" << 16 << 1 << true;
    QTest::newRow("negative") << "/COM:-1" << 1 << 0 << false;
}

void TestShell::commandLine() {
    QFETCH(QString, line);
    QFETCH(int, port);
    QFETCH(int, language);
    QFETCH(bool, extended);
    Program program;
    MainModule::InitProgram(program, line);
    QCOMPARE(program.Options.ComPort, port);
    QCOMPARE(program.State.UILanguage, language);
    QCOMPARE(IsTrue(program.State.ExtendedMode), extended);
    // The rest of the state always starts the same.
    QCOMPARE(program.Options.ComSpeed, 1);
    QCOMPARE(program.Options.LoadOnConnect, kFalse);
    QCOMPARE(program.Options.ConfirmStore, kTrue);
    QCOMPARE(program.Options.CheckSerialNo, kTrue);
    QCOMPARE(program.State.IsConnected, kFalse);
    QCOMPARE(program.State.ControllerSerialNo, QString("xxxxxxxxxx"));
    QCOMPARE(program.State.ControllerName, QString(16, 'x'));
    QCOMPARE(program.State.ControllerVersionText, QString("x.xx"));
}

void TestShell::roundHalfEven_data() {
    QTest::addColumn<double>("in");
    QTest::addColumn<double>("out");
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("12.5") << 12.5 << 12.0;
    QTest::newRow("2.51") << 2.51 << 3.0;
    QTest::newRow("349.92") << 349.92 << 350.0;
}

void TestShell::roundHalfEven() {
    QFETCH(double, in);
    QFETCH(double, out);
    QCOMPARE(Numbers::RoundHalfEven(in), out);
}

void TestShell::readNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "500" << 500.0;
    QTest::newRow("negative") << "-250" << -250.0;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("fraction") << "1.23" << 1.23;
    QTest::newRow("trailing text") << "12ABC" << 12.0;
    QTest::newRow("leading letter") << "V1.2" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("lone dot") << "." << 0.0;
    QTest::newRow("dot fraction") << ".5" << 0.5;
    QTest::newRow("leading zeros") << "0095" << 95.0;
    QTest::newRow("two dots") << "1.2.3" << 1.2;
}

void TestShell::readNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Numbers::ReadNumber(text), value);
}

void TestShell::parseEntry_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "5000" << true << 5000.0;
    QTest::newRow("blanks around") << "  60 " << true << 60.0;
    QTest::newRow("fraction") << "12.5" << true << 12.5;
    QTest::newRow("negative") << "-1000" << true << -1000.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank only") << "   " << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("trailing letters") << "12abc" << false << 0.0;
    QTest::newRow("inner blank") << "1 2" << false << 0.0;
    QTest::newRow("huge") << "99999999999999999999" << true << 1e20;
    QTest::newRow("full-width digits") << QString::fromUtf8("１２００") << true << 1200.0;
    QTest::newRow("full-width minus") << QString::fromUtf8("－５００") << true << -500.0;
    QTest::newRow("full-width point and blanks")
        << QString::fromUtf8("\u3000１２．５\u3000") << true << 12.5;
    QTest::newRow("minus sign") << QString::fromUtf8("\u2212250") << true << -250.0;
    QTest::newRow("full-width letters") << QString::fromUtf8("１２ａ") << false << 0.0;
}

void TestShell::parseEntry() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto parsed = Numbers::ParseEntry(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void TestShell::conversions() {
    QCOMPARE(Numbers::CurrentToController(350, 480), 729);
    QCOMPARE(Numbers::CurrentToController(175, 480), 365);
    QCOMPARE(Numbers::CurrentFromController(729, 480), qint16(350));
    QCOMPARE(Numbers::CurrentFromController(365, 480), qint16(175));
    QCOMPARE(Numbers::CtToController(20, 5.0), 4);
    QCOMPARE(Numbers::CtFromController(4, 5.0), qint16(20));
    QCOMPARE(Numbers::ToInteger(32767.4), qint16(32767));
    QCOMPARE(Numbers::ToLong(-2147483648.0), std::numeric_limits<qint32>::min());
}

void TestShell::conversionFailures() {
    QVERIFY(!Numbers::CurrentToController(350, 0));
    QVERIFY(!Numbers::CtToController(20, 0.0));
    QVERIFY(!Numbers::CtToController(20, 1e-12)); // beyond 32 bits
    QVERIFY(!Numbers::ToInteger(32767.5));        // rounds to 32768
    QVERIFY(!Numbers::ToInteger(-32769));
    QVERIFY(!Numbers::ToLong(2147483648.0));
    QVERIFY(!Numbers::CurrentFromController(100000, 480));
}

void TestShell::factoryDefaults() {
    Program program;
    program.Config.runCurrent = 1;
    program.Config = FactoryDefaults();
    const ConfigRecord& r = program.Config;
    QCOMPARE(r.defaultSpeedMin, 500);
    QCOMPARE(r.defaultSpeedMax, 5000);
    QCOMPARE(r.defaultAccelTime, 200);
    QCOMPARE(r.originSpeedMin, 500);
    QCOMPARE(r.originSpeedMax, 5000);
    QCOMPARE(r.originAccelTime, 200);
    QCOMPARE(r.jogSpeedMin, 500);
    QCOMPARE(r.jogSpeedMax, 500);
    QCOMPARE(r.jogAccelTime, 0);
    QCOMPARE(r.excitationAtStartUp, kTrue);
    QCOMPARE(r.autoExcitation, kFalse);
    QCOMPARE(r.excitationAtEmergencyStop, kTrue);
    QCOMPARE(r.jogInputEnabled, kTrue);
    QCOMPARE(r.reservedSwitch, 0);
    QCOMPARE(r.comSpeedIndex, 1);
    QCOMPARE(r.comFlowControl, kTrue);
    QCOMPARE(r.originMode, 0);
    QCOMPARE(r.originOffset, 0);
    QCOMPARE(r.limitSensorMode[0], 0);
    QCOMPARE(r.limitSensorMode[1], 0);
    QCOMPARE(r.reverseDirection, kFalse);
    QCOMPARE(r.stepMode, 1);
    QCOMPARE(r.runCurrent, 350);
    QCOMPARE(r.stopCurrent, 175);
    QCOMPARE(r.ctValue, 20);
    QCOMPARE(r.chValue, 800);
    QCOMPARE(r.clValue, 100);
    QCOMPARE(r.currentScale, 480);
    QCOMPARE(r.ctScale, 5.0);
    QCOMPARE(r.rotationStage, kFalse);
    QCOMPARE(r.jogDialEnabled, kFalse);
    QCOMPARE(r.jogDialPulses, 10);
}

void TestShell::title() {
    Program program;
    MainModule::InitProgram(program, "");
    QVERIFY(MainModule::WindowTitle(program.Lang())
                .startsWith(QString::fromUtf8("QMX-001 設定プログラム  Ver 1.23  ")));
    MainModule::InitProgram(program, "/L:E");
    QVERIFY(
        MainModule::WindowTitle(program.Lang()).startsWith("QMX-001 Configuration  Ver 1.23  "));
}

// Every field of the record has one row of its own: names differ, and each row's setter
// reaches its own field and no other (the member count is checked where the table is).
void TestShell::fieldTable() {
    std::set<std::string_view> names;
    for (const RecordField& field : kRecordFields)
        QVERIFY2(names.insert(field.name).second, field.name.data());
    for (const RecordField& changed : kRecordFields) {
        ConfigRecord record = FactoryDefaults();
        changed.set(record, 7);
        for (const RecordField& other : kRecordFields) {
            const double expected = &other == &changed ? 7 : other.factory;
            QVERIFY2(other.get(record) == expected,
                     qPrintable(QStringLiteral("%1 reached %2")
                                    .arg(RecordFields::Name(changed), RecordFields::Name(other))));
        }
    }
    QCOMPARE(RecordFields::FileFields().size(), size_t(28));
}

void TestShell::editRules_data() {
    QTest::addColumn<QStringList>("start");    // field=value over the factory record
    QTest::addColumn<QString>("rule");         // rule and its control, then the entry
    QTest::addColumn<QStringList>("expected"); // the fields that change; "refused"
    const QStringList none;
    const QStringList refused{"refused"};
    const auto row = [&](const char* name, const QStringList& start, const QString& rule,
                         const QStringList& expected) {
        QTest::newRow(name) << start << rule << expected;
    };
    // Speed groups: S and F to hundreds (ties to even), S <= F, 100..30000; times 0..1000.
    row("S 60", none, "speed Default 0 60", {"defaultSpeedMin=100"});
    row("S 49 rounds to 0", none, "speed Default 0 49", refused);
    row("S up to F", none, "speed Default 0 5000", {"defaultSpeedMin=5000"});
    row("S above F", none, "speed Default 0 5100", refused);
    row("S 250 to even", none, "speed Origin 0 250", {"originSpeedMin=200"});
    row("S 149.6 rounds twice", none, "speed Jog 0 149.6", {"jogSpeedMin=200"});
    row("F 30049", none, "speed Default 1 30049", {"defaultSpeedMax=30000"});
    row("F 30050", none, "speed Default 1 30050", {"defaultSpeedMax=30000"});
    row("F 30051", none, "speed Default 1 30051", refused);
    row("F 450 below S", none, "speed Origin 1 450", refused);
    row("F 550 to even", none, "speed Origin 1 550", {"originSpeedMax=600"});
    row("time 1000", none, "speed Origin 2 1000", {"originAccelTime=1000"});
    row("time 1001", none, "speed Origin 2 1001", refused);
    row("time -1", none, "speed Origin 2 -1", refused);
    row("time 250 not rounded", none, "speed Default 2 250", {"defaultAccelTime=250"});
    // The one-box jog speed: the range before rounding; a new value sets the whole group.
    row("jog 99", none, "jog 99", refused);
    row("jog 30049", none, "jog 30049", refused);
    row("jog 99.5", none, "jog 99.5", {"jogSpeedMin=100", "jogSpeedMax=100"});
    row("jog 150 sets the group", {"jogAccelTime=100"}, "jog 150",
        {"jogSpeedMin=200", "jogSpeedMax=200", "jogAccelTime=0"});
    row("jog equal to F changes nothing", {"jogSpeedMin=300", "jogAccelTime=100"}, "jog 540", none);
    // Offset and jog dial pulses: no rounding beyond whole numbers.
    row("offset -1000", none, "offset -1000", {"originOffset=-1000"});
    row("offset 16777215", none, "offset 16777215", {"originOffset=16777215"});
    row("offset -1001", none, "offset -1001", refused);
    row("offset 16777216", none, "offset 16777216", refused);
    row("offset 12.5 to even", none, "offset 12.5", {"originOffset=12"});
    row("offset 13.5 to even", none, "offset 13.5", {"originOffset=14"});
    row("offset full-width", none, QString::fromUtf8("offset －５００"), {"originOffset=-500"});
    row("pulses 0", none, "pulses 0", refused);
    row("pulses 10000", none, "pulses 10000", refused);
    row("pulses 9999", none, "pulses 9999", {"jogDialPulses=9999"});
    // Entries that are no number, or beyond 32 bits.
    row("not a number", none, "speed Default 1 fast", refused);
    row("empty", none, "offset", refused);
    row("number and text", none, "offset 12abc", refused);
    row("beyond 32 bits", none, "offset 99999999999", refused);
    // Currents: presets, and sliders that keep stop <= run (equal allowed).
    row("preset 660", none, "preset 1", {"runCurrent=660", "stopCurrent=330"});
    row("preset with its run current", {"runCurrent=660", "stopCurrent=200"}, "preset 1", none);
    row("stop onto run", none, "slider 1 350", {"stopCurrent=350"});
    row("stop above run", none, "slider 1 400", refused);
    row("run onto stop", none, "slider 0 175", {"runCurrent=175"});
    row("run below stop", none, "slider 0 150", refused);
    // Option buttons and check boxes.
    row("half step writes 1", {"stepMode=0"}, "choose StepMode 0", {"stepMode=1"});
    row("LS(-) normally open", none, "choose LimitSensorLogic 3", {"limitSensorMode(1)=1"});
    row("rotation stage", none, "choose StageType 1", {"rotationStage=-1"});
    row("motor free is the inverse", none, "toggle MotorFreeAtEmergencyStop 1",
        {"excitationAtEmergencyStop=0"});
    row("LS(+) out of use", {"limitSensorMode(0)=1"}, "toggle LimitSensorPlusUsed 0",
        {"limitSensorMode(0)=-1"});
    row("LS(+) back: normally closed", {"limitSensorMode(0)=-1"}, "toggle LimitSensorPlusUsed 1",
        {"limitSensorMode(0)=0"});
}

// "field=value" lists onto a record.
ConfigRecord WithFields(ConfigRecord record, const QStringList& fields) {
    for (const QString& assignment : fields)
        RecordFields::Named(assignment.section(u'=', 0, 0))
            ->set(record, assignment.section(u'=', 1).toDouble());
    return record;
}

template <typename E>
E EnumNamed(const QString& name, std::initializer_list<std::pair<const char*, E>> all) {
    for (const auto& [text, value] : all)
        if (name == QLatin1String(text))
            return value;
    qFatal("no such name %s", qPrintable(name));
}

std::optional<ConfigRecord> ApplyRule(const ConfigRecord& r, const QString& rule) {
    using namespace EditRules;
    const QStringList w = rule.split(u' ');
    const QString entry = w.size() > 1 ? w.last() : QString();
    const auto arg = [&w](int i) {
        return w.value(i);
    };
    if (w[0] == u"speed")
        return EnterSpeed(r,
                          EnumNamed<SpeedGroup>(arg(1), {{"Default", SpeedGroup::Default},
                                                         {"Origin", SpeedGroup::Origin},
                                                         {"Jog", SpeedGroup::Jog}}),
                          arg(2).toInt(), w.size() > 3 ? w.mid(3).join(u' ') : QString());
    if (w[0] == u"jog")
        return EnterJogSpeed(r, entry);
    if (w[0] == u"offset")
        return EnterOriginOffset(r, entry);
    if (w[0] == u"pulses")
        return EnterJogDialPulses(r, entry);
    if (w[0] == u"preset")
        return PressCurrentPreset(r, arg(1).toInt());
    if (w[0] == u"slider")
        return MoveCurrentSlider(r, arg(1).toInt(), arg(2).toInt());
    if (w[0] == u"choose")
        return Choose(r,
                      EnumNamed<Choice>(arg(1), {{"StepMode", Choice::StepMode},
                                                 {"LimitSensorLogic", Choice::LimitSensorLogic},
                                                 {"StageType", Choice::StageType}}),
                      arg(2).toInt());
    return Toggle(
        r,
        EnumNamed<Switch>(arg(1), {{"MotorFreeAtEmergencyStop", Switch::MotorFreeAtEmergencyStop},
                                   {"LimitSensorPlusUsed", Switch::LimitSensorPlusUsed}}),
        arg(2) == u"1");
}

void TestShell::editRules() {
    QFETCH(QStringList, start);
    QFETCH(QString, rule);
    QFETCH(QStringList, expected);
    const ConfigRecord before = WithFields(FactoryDefaults(), start);
    const std::optional<ConfigRecord> after = ApplyRule(before, rule);
    if (expected == QStringList{"refused"}) {
        QVERIFY(!after);
        return;
    }
    QVERIFY(after);
    const ConfigRecord wanted = WithFields(before, expected);
    QVERIFY2(*after == wanted, qPrintable(rule));
}

// What the window presents is what the rule set: every button and check box, both ways.
void TestShell::presentingReadsTheRules() {
    using namespace EditRules;
    const ConfigRecord start = FactoryDefaults();
    const std::pair<Choice, int> groups[] = {{Choice::StageType, 2},        {Choice::Direction, 2},
                                             {Choice::StepMode, 2},         {Choice::OriginMode, 2},
                                             {Choice::LimitSensorLogic, 4}, {Choice::LineSpeed, 4}};
    for (const auto& [choice, buttons] : groups)
        for (int b = 0; b < buttons; ++b)
            QCOMPARE(Chosen(Choose(start, choice, b), choice, b / 2), b);
    for (int w = int(Switch::JogInput); w <= int(Switch::JogDial); ++w)
        for (const bool ticked : {false, true})
            QCOMPARE(Ticked(Toggle(start, Switch(w), ticked), Switch(w)), ticked);
    // Each box's entry lands in the field the box shows.
    for (int n = int(Number::DefaultS); n <= int(Number::JogDialPulses); ++n) {
        const bool s = n <= int(Number::JogTime) && n % 3 == 0; // S stays below F
        const qint64 wanted = Shown(start, Number(n)) + (s ? -100 : 100);
        const auto entered = Enter(start, Number(n), QString::number(wanted));
        QVERIFY2(entered && Shown(*entered, Number(n)) == wanted, qPrintable(QString::number(n)));
    }
    QVERIFY(!Enter(start, Number::RunCurrent, u"500"));
}

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"

#include "shell/ConfigRecord.h"
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
    MainModule::InitProgram(line);
    QCOMPARE(MainModule::Options.ComPort, port);
    QCOMPARE(MainModule::State.UILanguage, language);
    QCOMPARE(IsTrue(MainModule::State.ExtendedMode), extended);
    // The rest of the state always starts the same.
    QCOMPARE(MainModule::Options.ComSpeed, 1);
    QCOMPARE(MainModule::Options.LoadOnConnect, kFalse);
    QCOMPARE(MainModule::Options.ConfirmStore, kTrue);
    QCOMPARE(MainModule::Options.CheckSerialNo, kTrue);
    QCOMPARE(MainModule::State.IsConnected, kFalse);
    QCOMPARE(MainModule::State.ControllerSerialNo, QString("xxxxxxxxxx"));
    QCOMPARE(MainModule::State.ControllerName, QString(16, 'x'));
    QCOMPARE(MainModule::State.ControllerVersionText, QString("x.xx"));
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
    MainModule::Config.runCurrent = 1;
    MainModule::ResetToFactoryDefaults();
    const ConfigRecord& r = MainModule::Config;
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
    MainModule::InitProgram("");
    QVERIFY(MainModule::WindowTitle().startsWith(
        QString::fromUtf8("QMX-001 設定プログラム  Ver 1.23  ")));
    MainModule::InitProgram("/L:E");
    QVERIFY(MainModule::WindowTitle().startsWith("QMX-001 Configuration  Ver 1.23  "));
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

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"

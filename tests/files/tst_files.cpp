#include "files/FileCommands.h"
#include "files/FileModule.h"
#include "files/ParameterText.h"
#include "link/ComSupport.h"
#include "platform/SerialControl.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"
#include "tests/support/Scripted.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <functional>
#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(ConfigRecord)

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

struct FakeView : testing::ScriptedFileView {
    using ScriptedFileView::ScriptedFileView;
    void DispConfigData() override { ++displayed; }
    void SetFileEntriesEnabled(bool enabled) override { entries.append(enabled); }
    void DispStatusMsg(StatusMsg message) override { messages.append(int(message)); }
    void UnloadMainWindow() override { ++unloaded; }
    bool Untouched() const { return displayed == 0 && entries.isEmpty() && messages.isEmpty(); }
    // Forgets what was shown so far.
    void Clear() {
        displayed = 0;
        entries.clear();
        messages.clear();
        unloaded = 0;
    }

    int displayed = 0;
    QList<bool> entries;
    QList<int> messages;
    int unloaded = 0;
};

class FakeSerial : public platform::SerialControl {
public:
    bool Open(const QString&, const QString&) override {
        open = true;
        return true;
    }
    void Close() override {
        open = false;
        ++closes;
    }
    bool IsOpen() const override { return open; }
    void SetRts(bool) override {}
    void SetDtr(bool) override {}
    bool CtsHolding() override { return true; }
    bool Write(const QByteArray&) override { return true; }
    QByteArray ReadAll() override { return {}; }
    QString ErrorText() const override { return {}; }

    bool open = true;
    int closes = 0;
};

ConfigRecord With(const std::function<void(ConfigRecord&)>& change) {
    ConfigRecord record = FactoryDefaults();
    change(record);
    return record;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

double StoredDate(const QByteArray& image, int offset) {
    return qFromLittleEndian<double>(image.constData() + offset);
}

// Independent of the module: days since 1899-12-30 plus the time of day, local time.
double OleNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDate(1899, 12, 30).daysTo(now.date()) + now.time().msecsSinceStartOfDay() / 86400e3;
}

const char* const kMismatchEn = "Mismuch QMX and Config file,Contiue load file ?";

} // namespace

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void goldenSaveAs();
    void fieldLayout_data();
    void fieldLayout();
    void roundTrip_data();
    void roundTrip();
    void openThenSave_data();
    void openThenSave();
    void refusedOpen_data();
    void refusedOpen();
    void serialQuestion_data();
    void serialQuestion();
    void saveAsExisting_data();
    void saveAsExisting();
    void writeFailure_data();
    void writeFailure();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void cancelledDialog_data();
    void cancelledDialog();
    void dialogTexts_data();
    void dialogTexts();
    void nameUsedAsTyped();
    void commandsReport();
    void exitClosesLink();
    void oleDates_data();
    void oleDates();
    void damagedDates_data();
    void damagedDates();
    void refusingTheCurrentFile_data();
    void refusingTheCurrentFile();
    void saveAsOntoSpecialFile_data();
    void saveAsOntoSpecialFile();
    void textKeepsEveryValue_data();
    void textKeepsEveryValue();
    void textValues_data();
    void textValues();
    void warningsBeyondTwentyCounted();

private:
    QString Path(const QString& name) const { return dir->filePath(name); }
    // Save As through the menu; the file becomes current.
    void SaveAs(const QString& path, const ConfigRecord& record);
    void Open(const QString& path) {
        dialogs->names.enqueue(path);
        commands->FileOpen();
    }

    // Each test's own, made in init.
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Program> program;
    std::unique_ptr<FileModule> files;
    std::unique_ptr<ComSupport> link;
    std::unique_ptr<testing::ScriptedMessageBoxes> boxes;
    std::unique_ptr<testing::ScriptedFileDialogs> dialogs;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<FileCommands> commands;
};

void TestFiles::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    program = std::make_unique<Program>();
    MainModule::InitProgram(*program, QStringLiteral("/L:E"));
    files = std::make_unique<FileModule>(*program);
    link = std::make_unique<ComSupport>(program->Lang());
    boxes = std::make_unique<testing::ScriptedMessageBoxes>();
    dialogs = std::make_unique<testing::ScriptedFileDialogs>();
    view = std::make_unique<FakeView>(*dialogs, *boxes);
    commands = std::make_unique<FileCommands>(*program, *files, *link, *view);
}

void TestFiles::SaveAs(const QString& path, const ConfigRecord& record) {
    program->Config = record;
    dialogs->names.enqueue(path);
    commands->FileSaveAs();
    QCOMPARE(program->State.CurrentFileName, path);
    boxes->shown.clear();
    dialogs->shown.clear();
    view->Clear();
}

void TestFiles::goldenSaveAs() {
    const double before = OleNow();
    SaveAs(Path("golden.QMX"), FactoryDefaults());
    const double after = OleNow();
    const QByteArray file = ReadBytes(Path("golden.QMX"));
    QCOMPARE(file.size(), 256);

    const double created = StoredDate(file, 7);
    QVERIFY2(created >= before && created <= after, qPrintable(QString::number(created, 'f')));
    QCOMPARE(StoredDate(file, 15), created);

    QByteArray expected(256, '\0');
    expected.replace(0, 6, "QMX001");
    expected.replace(23, 4, QByteArray::fromHex("01001700")); // version 1, 23
    expected.replace(27, 10, "0000000000");
    const QByteArray params1 = QByteArray::fromHex("f4010000" // 128 default speed S 500
                                                   "88130000" // 132 default speed F 5000
                                                   "c800"     // 136 accel 200
                                                   "f4010000" // 138 origin S 500
                                                   "88130000" // 142 origin F 5000
                                                   "c800"     // 146 origin accel 200
                                                   "f4010000" // 148 jog S 500
                                                   "f4010000" // 152 jog F 500
                                                   "0000"     // 156 jog accel 0
                                                   "ffff"     // 158 excited at start-up
                                                   "0000"     // 160 no auto excitation
                                                   "ffff"     // 162 excited at emergency stop
                                                   "ffff"     // 164 jog input on
                                                   "0000"     // 166 reserved switch
                                                   "0100"     // 168 9600 bit/s
                                                   "ffff"     // 170 flow control
                                                   "0000"     // 172 no jog dial
                                                   "0a00");   // 174 10 pulses
    const QByteArray params2 = QByteArray::fromHex("0000"     // 224 mini system
                                                   "00000000" // 226 offset 0
                                                   "0000"     // 230 LS(+) normally closed
                                                   "0000"     // 232 LS(-) normally closed
                                                   "0000"     // 234 normal direction
                                                   "0100"     // 236 half step
                                                   "5e01"     // 238 run 350 mA
                                                   "af00"     // 240 stop 175 mA
                                                   "1400"     // 242 CT 20
                                                   "0000");   // 244 translation stage
    expected.replace(128, params1.size(), params1);
    expected.replace(224, params2.size(), params2);
    expected.replace(44, 64, QByteArray(64, ' '));
    expected.replace(7, 16, file.mid(7, 16)); // the dates, checked above
    for (int i = 0; i < 256; ++i)
        QVERIFY2(file.at(i) == expected.at(i), qPrintable(QStringLiteral("offset %1").arg(i)));
}

void TestFiles::fieldLayout_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("defaultSpeedMin") << 128 << QByteArray::fromHex("65000000");
    QTest::newRow("defaultSpeedMax") << 132 << QByteArray::fromHex("70110100");
    QTest::newRow("defaultAccelTime") << 136 << QByteArray::fromHex("2d01");
    QTest::newRow("originSpeedMin") << 138 << QByteArray::fromHex("66000000");
    QTest::newRow("originSpeedMax") << 142 << QByteArray::fromHex("2f750000");
    QTest::newRow("originAccelTime") << 146 << QByteArray::fromHex("2e01");
    QTest::newRow("jogSpeedMin") << 148 << QByteArray::fromHex("67000000");
    QTest::newRow("jogSpeedMax") << 152 << QByteArray::fromHex("68000000");
    QTest::newRow("jogAccelTime") << 156 << QByteArray::fromHex("2f01");
    QTest::newRow("excitationAtStartUp") << 158 << QByteArray::fromHex("0000");
    QTest::newRow("autoExcitation") << 160 << QByteArray::fromHex("ffff");
    QTest::newRow("excitationAtEmergencyStop") << 162 << QByteArray::fromHex("0700");
    QTest::newRow("jogInputEnabled") << 164 << QByteArray::fromHex("feff");
    QTest::newRow("reservedSwitch") << 166 << QByteArray::fromHex("0500");
    QTest::newRow("comSpeedIndex") << 168 << QByteArray::fromHex("0300");
    QTest::newRow("comFlowControl") << 170 << QByteArray::fromHex("0400");
    QTest::newRow("jogDialEnabled") << 172 << QByteArray::fromHex("0600");
    QTest::newRow("jogDialPulses") << 174 << QByteArray::fromHex("0f27");
    QTest::newRow("params1 reserved") << 176 << QByteArray(48, '\0');
    QTest::newRow("originMode") << 224 << QByteArray::fromHex("0900");
    QTest::newRow("originOffset") << 226 << QByteArray::fromHex("18fcffff");
    QTest::newRow("limitSensorMode(0)") << 230 << QByteArray::fromHex("fdff");
    QTest::newRow("limitSensorMode(1)") << 232 << QByteArray::fromHex("0100");
    QTest::newRow("reverseDirection") << 234 << QByteArray::fromHex("0b00");
    QTest::newRow("stepMode") << 236 << QByteArray::fromHex("0200");
    QTest::newRow("runCurrent") << 238 << QByteArray::fromHex("ee02");
    QTest::newRow("stopCurrent") << 240 << QByteArray::fromHex("7701");
    QTest::newRow("ctValue") << 242 << QByteArray::fromHex("0080");
    QTest::newRow("rotationStage") << 244 << QByteArray::fromHex("0a00");
    QTest::newRow("params2 reserved") << 246 << QByteArray(10, '\0');
}

// Every file field holds its own value, so a field at the wrong place shows up.
void TestFiles::fieldLayout() {
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    const ConfigRecord record{.defaultSpeedMin = 101,
                              .defaultSpeedMax = 70000,
                              .defaultAccelTime = 301,
                              .originSpeedMin = 102,
                              .originSpeedMax = 29999,
                              .originAccelTime = 302,
                              .jogSpeedMin = 103,
                              .jogSpeedMax = 104,
                              .jogAccelTime = 303,
                              .excitationAtStartUp = 0,
                              .autoExcitation = -1,
                              .excitationAtEmergencyStop = 7,
                              .jogInputEnabled = -2,
                              .reservedSwitch = 5,
                              .comSpeedIndex = 3,
                              .comFlowControl = 4,
                              .originMode = 9,
                              .originOffset = -1000,
                              .limitSensorMode = {-3, 1},
                              .reverseDirection = 11,
                              .stepMode = 2,
                              .runCurrent = 750,
                              .stopCurrent = 375,
                              .ctValue = -32768,
                              .chValue = 1,
                              .clValue = 2,
                              .currentScale = 3,
                              .ctScale = 4.0,
                              .rotationStage = 10,
                              .jogDialEnabled = 6,
                              .jogDialPulses = 9999};
    SaveAs(Path("layout.QMX"), record);
    QCOMPARE(ReadBytes(Path("layout.QMX")).mid(offset, bytes.size()).toHex(), bytes.toHex());
    // The record's field table puts the field there.
    if (const RecordField* field = RecordFields::Named(QString(QTest::currentDataTag())))
        QCOMPARE(field->fileOffset, offset);
    else
        QVERIFY(QByteArray(QTest::currentDataTag()).endsWith("reserved"));
}

void TestFiles::roundTrip_data() {
    QTest::addColumn<ConfigRecord>("record");
    QTest::newRow("negative offset") << With([](ConfigRecord& r) { r.originOffset = -1000; });
    QTest::newRow("largest offset, centre") << With([](ConfigRecord& r) {
        r.originOffset = 16777215;
        r.originMode = 1;
    });
    QTest::newRow("sensors -1 and 1") << With([](ConfigRecord& r) { r.limitSensorMode = {-1, 1}; });
    QTest::newRow("stepMode 2") << With([](ConfigRecord& r) { r.stepMode = 2; });
    QTest::newRow("flow control off") << With([](ConfigRecord& r) {
        r.comFlowControl = kFalse;
        r.comSpeedIndex = 3;
    });
    QTest::newRow("rotation stage reversed") << With([](ConfigRecord& r) {
        r.rotationStage = kTrue;
        r.reverseDirection = kTrue;
    });
    QTest::newRow("switches flipped") << With([](ConfigRecord& r) {
        r.excitationAtStartUp = kFalse;
        r.autoExcitation = kTrue;
        r.excitationAtEmergencyStop = kFalse;
        r.jogInputEnabled = kFalse;
        r.jogDialEnabled = kTrue;
        r.jogDialPulses = 9999;
    });
    QTest::newRow("limits of the widths") << With([](ConfigRecord& r) {
        r.defaultSpeedMin = 100;
        r.defaultSpeedMax = 30000;
        r.jogSpeedMax = 2147483647;
        r.originSpeedMin = -2147483647 - 1;
        r.defaultAccelTime = 1000;
        r.runCurrent = 750;
        r.stopCurrent = 375;
        r.ctValue = 32767;
        r.reservedSwitch = -1;
    });
}

void TestFiles::roundTrip() {
    QFETCH(ConfigRecord, record);
    SaveAs(Path("trip.QMX"), record);
    program->Config = FactoryDefaults();
    program->Config.chValue = 1;
    program->Config.clValue = 2;
    program->Config.currentScale = 3;
    program->Config.ctScale = 4.5;
    Open(Path("trip.QMX"));
    QVERIFY(boxes->shown.isEmpty());
    ConfigRecord expected = record;
    expected.chValue = 1;
    expected.clValue = 2;
    expected.currentScale = 3;
    expected.ctScale = 4.5;
    QVERIFY(program->Config == expected);
}

void TestFiles::openThenSave_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("controllerSerial");
    QTest::addColumn<QByteArray>("serialAfter"); // bytes 0..9 of the serial field
    QTest::newRow("not connected") << false << "AB12345678" << QByteArray("FILESERIAL");
    QTest::newRow("connected") << true << "AB12345678" << QByteArray("AB12345678");
    QTest::newRow("connected, long serial") << true << "XYZ1234567890" << QByteArray("XYZ1234567");
    QTest::newRow("connected, short serial")
        << true << "ABC" << QByteArray("ABC").append(QByteArray(7, '\0'));
}

// Save rewrites the file it loaded: its identity, created date, text area and reserved bytes
// all survive.
void TestFiles::openThenSave() {
    QFETCH(bool, connected);
    QFETCH(QString, controllerSerial);
    QFETCH(QByteArray, serialAfter);
    const QString path = Path("kept.QMX");
    SaveAs(path, With([](ConfigRecord& r) { r.originOffset = -5; }));
    QByteArray original = ReadBytes(path);
    original[6] = 7;
    double created = 40000.25;
    qToLittleEndian(created, original.data() + 7);
    qToLittleEndian(created, original.data() + 15);
    original.replace(27, 17, QByteArray("FILESERIAL").append(QByteArray(7, '\x11')));
    original.replace(44, 12, "custom notes");
    original[108] = 1;
    original.replace(109, 19, QByteArray(19, '\xaa'));
    original.replace(176, 48, QByteArray(48, '\x55'));
    original.replace(246, 10, QByteArray(10, '\x66'));
    WriteBytes(path, original);

    program->Options.CheckSerialNo = kFalse;
    program->State.IsConnected = ToBoolean(connected);
    program->State.ControllerSerialNo = controllerSerial;
    Open(path);
    QCOMPARE(view->messages, QList<int>{6});
    const double before = OleNow();
    commands->FileSave();
    const double after = OleNow();
    QVERIFY(boxes->shown.isEmpty());
    QCOMPARE(view->messages, (QList<int>{6, 7}));

    const QByteArray saved = ReadBytes(path);
    QCOMPARE(saved.size(), 256);
    const double updated = StoredDate(saved, 15);
    QVERIFY(updated >= before && updated <= after);
    QByteArray expected = original;
    expected.replace(15, 8, saved.mid(15, 8));
    expected.replace(27, 10, serialAfter);
    QCOMPARE(saved.toHex(), expected.toHex());
}

void TestFiles::refusedOpen_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("text"); // empty: the platform's text for opening the file
    QTest::addColumn<int>("icon");
    const int error = int(MsgIcon::Critical);
    const int warning = int(MsgIcon::Warning);
    QTest::newRow("lower-case identity")
        << "lower" << true << "Not QMX-001 config file, Cannot loaded." << error;
    QTest::newRow("lower-case identity, ja")
        << "lower" << false << QStringLiteral("QMX-001の設定ファイルではありません。") << error;
    QTest::newRow("identity QMX002")
        << "QMX002" << true << "Not QMX-001 config file, Cannot loaded." << error;
    QTest::newRow("too short") << "short" << true
                               << "The file is too short to be a QMX-001 config file." << error;
    QTest::newRow("too short, ja")
        << "short" << false
        << QStringLiteral("ファイルが短すぎます。QMX-001の設定ファイルではありません。") << error;
    QTest::newRow("missing file") << "missing" << true << QString() << error;
    const QString special = QStringLiteral("@ is not a regular file (it is a folder, a device or "
                                           "a pipe). Choose a file.");
    QTest::newRow("a directory") << "directory" << true << special << error;
#ifdef Q_OS_UNIX
    QTest::newRow("a pipe") << "fifo" << true << special << error;
#endif
    QTest::newRow("under a regular file") << "underFile" << false << QString() << error;
    QTest::newRow("no read permission") << "chmod" << true << QString() << error;
    QTest::newRow("serial mismatch, No") << "mismatch" << true << kMismatchEn << warning;
    QTest::newRow("serial mismatch, No, ja")
        << "mismatch" << false
        << QStringLiteral("接続されたQMXと設定ファイルが異なります。読込を続けますか？") << warning;
}

void TestFiles::refusedOpen() {
    QFETCH(QString, kind);
    QFETCH(bool, english);
    QFETCH(QString, text);
    QFETCH(int, icon);
    program->State.UILanguage = english ? 1 : 0;

    // A file whose bytes must never reach memory: other values, odd reserved bytes.
    SaveAs(Path("rejected.QMX"), With([](ConfigRecord& r) { r.jogDialPulses = 77; }));
    QByteArray rejected = ReadBytes(Path("rejected.QMX"));
    rejected.replace(109, 19, QByteArray(19, '\x5a'));
    rejected.replace(176, 48, QByteArray(48, '\x5a'));

    const QString previous = Path("previous.QMX");
    SaveAs(previous, With([](ConfigRecord& r) { r.originOffset = 123; }));
    const QByteArray previousBytes = ReadBytes(previous);
    program->Config.runCurrent = 660; // an unsaved edit
    const ConfigRecord record = program->Config;
    const QByteArray blocks = files->FileImage();

    QString target = Path("target.QMX");
    if (kind == "lower") {
        WriteBytes(target, rejected.replace(0, 6, "qmx001"));
    } else if (kind == "QMX002") {
        WriteBytes(target, rejected.replace(0, 6, "QMX002"));
    } else if (kind == "fifo") {
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(QFile::encodeName(target).constData(), 0600), 0); // opening would block
#endif
    } else if (kind == "short") {
        WriteBytes(target, rejected.left(255));
    } else if (kind == "directory") {
        QVERIFY(QDir(dir->path()).mkdir("target.QMX"));
    } else if (kind == "underFile") {
        target = previous + "/target.QMX";
    } else if (kind == "chmod") {
#ifdef Q_OS_UNIX
        if (geteuid() == 0)
            QSKIP("root reads any file");
        WriteBytes(target, rejected);
        QVERIFY(QFile::setPermissions(target, QFileDevice::WriteOwner));
#else
        QSKIP("POSIX permissions only");
#endif
    } else if (kind == "mismatch") {
        WriteBytes(target, rejected);
        program->State.IsConnected = kTrue;
        program->State.ControllerSerialNo = QStringLiteral("SN00000001");
    }
    if (text.isEmpty()) {
        QFile file(target);
        QVERIFY(!file.open(QIODevice::ReadOnly));
        text = file.errorString();
    }
    text.replace(u'@', target);

    Open(target);
    QCOMPARE(boxes->shown.size(), 1);
    QCOMPARE(boxes->shown[0].text, text);
    QCOMPARE(boxes->shown[0].title, english ? QStringLiteral("Load QMX-001 config file")
                                            : QStringLiteral("QMX-001設定ファイル読込"));
    QCOMPARE(int(boxes->shown[0].icon), icon);
    QCOMPARE(boxes->shown[0].buttons,
             icon == int(MsgIcon::Warning) ? MsgButtons::YesNo : MsgButtons::Ok);
    QVERIFY(program->Config == record);
    QCOMPARE(files->FileImage().toHex(), blocks.toHex());
    QCOMPARE(program->State.CurrentFileName, previous);
    QVERIFY(view->Untouched());

    // Save still writes the previous file, with its own header and the edited record.
    program->State.IsConnected = kFalse;
    commands->FileSave();
    const QByteArray saved = ReadBytes(previous);
    QByteArray expected = previousBytes;
    expected.replace(15, 8, saved.mid(15, 8));
    expected.replace(238, 2, QByteArray::fromHex("9402")); // 660 mA
    QCOMPARE(saved.toHex(), expected.toHex());
}

void TestFiles::serialQuestion_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("check");
    QTest::addColumn<QByteArray>("fileSerial");
    QTest::addColumn<QString>("controllerSerial");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("loaded"); // the question, when asked, is answered Yes
    QTest::newRow("not connected")
        << false << true << QByteArray("0000000000") << "SN00000001" << false << true;
    QTest::newRow("check off") << true << false << QByteArray("0000000000") << "SN00000001" << false
                               << true;
    QTest::newRow("same controller")
        << true << true << QByteArray("SN00000001") << "SN00000001" << false << true;
    QTest::newRow("mismatch answered Yes")
        << true << true << QByteArray("0000000000") << "SN00000001" << true << true;
    QTest::newRow("case differs") << true << true << QByteArray("sn00000001") << "SN00000001"
                                  << true << true;
    QTest::newRow("long controller serial")
        << true << true << QByteArray("SN00000001") << "SN0000000123" << false << true;
    QTest::newRow("short controller serial")
        << true << true << QByteArray("ABC").append(QByteArray(7, '\0')) << "ABC" << false << true;
    QTest::newRow("short, file padded with blanks")
        << true << true << QByteArray("ABC       ") << "ABC" << true << true;
}

void TestFiles::serialQuestion() {
    QFETCH(bool, connected);
    QFETCH(bool, check);
    QFETCH(QByteArray, fileSerial);
    QFETCH(QString, controllerSerial);
    QFETCH(bool, asked);
    QFETCH(bool, loaded);
    const QString path = Path("serial.QMX");
    SaveAs(path, With([](ConfigRecord& r) { r.stepMode = 0; }));
    QByteArray bytes = ReadBytes(path);
    WriteBytes(path, bytes.replace(27, 10, fileSerial));
    program->Config = FactoryDefaults();
    program->State.IsConnected = ToBoolean(connected);
    program->Options.CheckSerialNo = ToBoolean(check);
    program->State.ControllerSerialNo = controllerSerial;
    boxes->answers.enqueue(MsgAnswer::Yes);

    Open(path);
    QCOMPARE(boxes->shown.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(boxes->shown[0].text, QString(kMismatchEn));
    QCOMPARE(program->Config.stepMode == 0, loaded);
    QCOMPARE(view->messages, loaded ? QList<int>{6} : QList<int>{});
}

void TestFiles::saveAsExisting_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("dangling"); // a symbolic link to nothing, which the save would make
    QTest::newRow("No") << true << false << false;
    QTest::newRow("Yes") << true << true << false;
    QTest::newRow("No, ja") << false << false << false;
    QTest::newRow("a link to nothing, No") << true << false << true;
}

void TestFiles::saveAsExisting() {
    QFETCH(bool, english);
    QFETCH(bool, replace);
    QFETCH(bool, dangling);
    program->State.UILanguage = english ? 1 : 0;
    const QString current = Path("current.QMX");
    SaveAs(current, FactoryDefaults());
    const QString existing = Path("existing.QMX");
    if (dangling)
        QVERIFY(QFile::link(Path("nowhere.QMX"), existing));
    else
        WriteBytes(existing, "not a config file");
    const QByteArray blocks = files->FileImage();
    boxes->answers.enqueue(replace ? MsgAnswer::Yes : MsgAnswer::No);

    dialogs->names.enqueue(existing);
    commands->FileSaveAs();
    QCOMPARE(boxes->shown.size(), 1);
    QCOMPARE(boxes->shown[0].text,
             english ? QStringLiteral("Already config file. Over write ?")
                     : QStringLiteral("設定ファイルが既に存在します。上書きしますか？"));
    QCOMPARE(boxes->shown[0].title, english ? QStringLiteral("Store QMX-001 config file")
                                            : QStringLiteral("QMX-001設定ファイル書込"));
    QCOMPARE(boxes->shown[0].icon, MsgIcon::Warning);
    QCOMPARE(boxes->shown[0].buttons, MsgButtons::YesNo);
    if (replace) {
        QCOMPARE(ReadBytes(existing).size(), 256);
        QCOMPARE(program->State.CurrentFileName, existing);
        QCOMPARE(view->messages, QList<int>{7});
    } else {
        QCOMPARE(ReadBytes(existing), dangling ? QByteArray() : QByteArray("not a config file"));
        QVERIFY(!QFile::exists(Path("nowhere.QMX")));
        QCOMPARE(program->State.CurrentFileName, current);
        QCOMPARE(files->FileImage().toHex(), blocks.toHex());
        QVERIFY(view->Untouched());
    }
}

void TestFiles::writeFailure_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("under a regular file") << "current.QMX/new.QMX";
    QTest::newRow("missing folder") << "nowhere/new.QMX";
#ifdef Q_OS_LINUX
    QTest::newRow("under /proc") << "/proc/qmx-files-test.QMX";
#endif
}

// Save As onto a place that cannot hold a file: the platform's text, nothing else changes.
void TestFiles::writeFailure() {
    QFETCH(QString, target);
    if (!target.startsWith('/'))
        target = Path(target);
    const QString current = Path("current.QMX");
    SaveAs(current, FactoryDefaults());
    const QByteArray blocks = files->FileImage();
    QString text;
    {
        QSaveFile probe(target);
        QVERIFY(!probe.open(QIODevice::WriteOnly));
        text = probe.errorString();
    }
    QVERIFY(!text.isEmpty());

    dialogs->names.enqueue(target);
    commands->FileSaveAs();
    QCOMPARE(boxes->shown.size(), 1);
    QCOMPARE(boxes->shown[0].text, text);
    QCOMPARE(boxes->shown[0].title, QStringLiteral("Store QMX-001 config file"));
    QCOMPARE(boxes->shown[0].icon, MsgIcon::Critical);
    QCOMPARE(program->State.CurrentFileName, current);
    QCOMPARE(files->FileImage().toHex(), blocks.toHex());
    QVERIFY(view->Untouched());
    QVERIFY(!QFile::exists(target));
}

void TestFiles::failedWriteKeepsOldFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only folder") << "chmod";
    QTest::newRow("file size limit") << "limit";
    QTest::newRow("system file") << "proc";
    QTest::newRow("current file became a pipe") << "fifo";
}

void TestFiles::failedWriteKeepsOldFile() {
#ifndef Q_OS_UNIX
    QSKIP("POSIX only");
#else
    QFETCH(QString, kind);
    QString path = Path("old.QMX");
    SaveAs(path, FactoryDefaults());
    program->Config.runCurrent = 750;
    struct rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit oldLimit = limit;
    auto oldHandler = SIG_DFL;
    if (kind == "chmod") {
        if (geteuid() == 0)
            QSKIP("root writes into any folder");
        QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (kind == "proc") {
        path = QStringLiteral("/proc/version");
        if (!QFile::exists(path))
            QSKIP("no /proc");
        program->State.CurrentFileName = path;
    } else if (kind == "fifo") {
        QVERIFY(QFile::remove(path));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    // A pipe is never read: that would wait for a writer.
    const QByteArray old = kind == "fifo" ? QByteArray() : ReadBytes(path);
    if (kind == "limit") {
        // The disk "fills" after 64 bytes of the new file.
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 64;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    }

    commands->FileSave();

    if (kind == "limit") {
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
    }
    QFile::setPermissions(dir->path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(boxes->shown.size(), 1);
    QCOMPARE(boxes->shown[0].title, QStringLiteral("Store QMX-001 config file"));
    QCOMPARE(boxes->shown[0].icon, MsgIcon::Critical);
    QVERIFY(!boxes->shown[0].text.isEmpty());
    QVERIFY(view->Untouched());
    if (kind == "fifo") {
        QVERIFY(!QFileInfo(path).isFile() && QFileInfo::exists(path));
        return;
    }
    QCOMPARE(ReadBytes(path), old);
    if (kind != "proc")
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"old.QMX"});
#endif
}

void TestFiles::cancelledDialog_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("Open") << false;
    QTest::newRow("Save As") << true;
}

void TestFiles::cancelledDialog() {
    QFETCH(bool, save);
    const QString current = Path("current.QMX");
    SaveAs(current, FactoryDefaults());
    program->Config.jogDialPulses = 5;
    const ConfigRecord record = program->Config;
    const QByteArray blocks = files->FileImage();
    if (save)
        commands->FileSaveAs();
    else
        commands->FileOpen();
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown[0].save, save);
    QVERIFY(boxes->shown.isEmpty());
    QVERIFY(view->Untouched());
    QVERIFY(program->Config == record);
    QCOMPARE(files->FileImage(), blocks);
    QCOMPARE(program->State.CurrentFileName, current);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"current.QMX"});
}

void TestFiles::dialogTexts_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("openTitle");
    QTest::addColumn<QString>("saveTitle");
    QTest::addColumn<QString>("filter");
    QTest::newRow("English") << true << "OPEN"
                             << "CREATE"
                             << "QMX config file (*.QMX)|*.QMX";
    QTest::newRow("Japanese") << false << QStringLiteral("開く") << QStringLiteral("新規作成")
                              << QStringLiteral("QMX設定ファイル名 (*.QMX)|*.QMX");
}

void TestFiles::dialogTexts() {
    QFETCH(bool, english);
    QFETCH(QString, openTitle);
    QFETCH(QString, saveTitle);
    QFETCH(QString, filter);
    program->State.UILanguage = english ? 1 : 0;
    commands->FileOpen();
    commands->FileSaveAs();
    QCOMPARE(dialogs->shown.size(), 2);
    QCOMPARE(dialogs->shown[0].save, false);
    QCOMPARE(dialogs->shown[0].title, openTitle);
    QCOMPARE(dialogs->shown[0].filter, filter);
    QCOMPARE(dialogs->shown[1].save, true);
    QCOMPARE(dialogs->shown[1].title, saveTitle);
    QCOMPARE(dialogs->shown[1].filter, filter);
}

void TestFiles::nameUsedAsTyped() {
    const QString plain = Path("plainname");
    dialogs->names.enqueue(plain);
    commands->FileSaveAs();
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"plainname"});
    QCOMPARE(program->State.CurrentFileName, plain);
    Open(plain);
    QVERIFY(boxes->shown.isEmpty());
    QCOMPARE(view->messages, (QList<int>{7, 6}));
}

// Successes report through the view; Save asks nothing; Close keeps the values.
void TestFiles::commandsReport() {
    const QString path = Path("report.QMX");
    program->Config.jogDialPulses = 42;
    dialogs->names.enqueue(path);
    commands->FileSaveAs();
    QCOMPARE(view->entries, QList<bool>{true});
    QCOMPARE(view->messages, QList<int>{7});
    QCOMPARE(view->displayed, 0);

    commands->FileSave();
    QCOMPARE(view->messages, (QList<int>{7, 7}));
    QCOMPARE(dialogs->shown.size(), 1);

    commands->FileClose();
    QCOMPARE(view->entries, (QList<bool>{true, false}));
    QVERIFY(program->State.CurrentFileName.isEmpty());
    QCOMPARE(program->Config.jogDialPulses, qint16(42));

    Open(path);
    QCOMPARE(view->displayed, 1);
    QCOMPARE(view->entries, (QList<bool>{true, false, true}));
    QCOMPARE(view->messages, (QList<int>{7, 7, 6}));
    QCOMPARE(program->State.CurrentFileName, path);
    QVERIFY(boxes->shown.isEmpty());
}

void TestFiles::exitClosesLink() {
    FakeSerial serial;
    link->SetSerialControl(&serial);
    QVERIFY(link->ComOpenDevice(QStringLiteral("/dev/ttyFake")));
    commands->FileExit();
    link->SetSerialControl(nullptr);
    QCOMPARE(serial.closes, 1);
    QVERIFY(!link->PortIsOpen());
    QCOMPARE(view->unloaded, 1);
    QVERIFY(view->Untouched());
    QVERIFY(boxes->shown.isEmpty());
}

void TestFiles::oleDates_data() {
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<double>("ole");
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("noon") << QDateTime(QDate(1899, 12, 30), QTime(12, 0)) << 0.5;
    QTest::newRow("1900") << QDateTime(QDate(1900, 1, 1), QTime(0, 0)) << 2.0;
    QTest::newRow("2000, 18:00") << QDateTime(QDate(2000, 1, 1), QTime(18, 0)) << 36526.75;
    QTest::newRow("before the epoch") << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
}

void TestFiles::oleDates() {
    QFETCH(QDateTime, local);
    QFETCH(double, ole);
    QCOMPARE(FileModule::ToOleDate(local), ole);
    QCOMPARE(FileModule::FromOleDate(ole), local);
}

void TestFiles::damagedDates_data() {
    QTest::addColumn<double>("ole");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("1e300") << 1e300;
    QTest::newRow("-1e300") << -1e300;
    QTest::newRow("after the year 9999") << 2958466.0;
    QTest::newRow("before the year 100") << -657435.0;
}

// Eight bytes that hold no date give no date, never undefined behaviour.
void TestFiles::damagedDates() {
    QFETCH(double, ole);
    QVERIFY(!FileModule::FromOleDate(ole).isValid());
}

void TestFiles::refusingTheCurrentFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("reopened after a foreign file replaced it") << "foreign";
    QTest::newRow("reopened, serial question answered No") << "serial";
    QTest::newRow("Save As onto it declined") << "declined";
}

// Refusing the current file itself leaves no current file: Save can no longer write it.
void TestFiles::refusingTheCurrentFile() {
    QFETCH(QString, how);
    const QString current = Path("a.QMX");
    SaveAs(current, FactoryDefaults());
    QCOMPARE(program->State.CurrentFileName, current);
    if (how == u"foreign")
        WriteBytes(current, QByteArray(256, 'x'));
    QByteArray before = ReadBytes(current);
    if (how == u"serial") {
        program->State.IsConnected = kTrue;
        program->State.ControllerSerialNo = QStringLiteral("SN00000001");
    }
    boxes->answers.enqueue(MsgAnswer::No);
    if (how == u"declined") {
        dialogs->names.enqueue(current);
        commands->FileSaveAs();
    } else {
        Open(current);
    }
    QCOMPARE(boxes->shown.size(), 1);
    QCOMPARE(program->State.CurrentFileName, QString());
    QCOMPARE(view->entries, QList<bool>{false});
    QCOMPARE(ReadBytes(current), before);
}

void TestFiles::saveAsOntoSpecialFile_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("a folder") << "@folder";
#ifdef Q_OS_UNIX
    QTest::newRow("a pipe") << "@fifo";
    QTest::newRow("a device") << "/dev/null";
#endif
}

// Refused up front, without the question: replacing it would destroy it.
void TestFiles::saveAsOntoSpecialFile() {
    QFETCH(QString, target);
    if (target == u"@folder")
        QVERIFY(QDir().mkdir(target = Path("folder.QMX")));
#ifdef Q_OS_UNIX
    if (target == u"@fifo")
        QCOMPARE(mkfifo(QFile::encodeName(target = Path("fifo.QMX")).constData(), 0600), 0);
#endif
    const QString current = Path("current.QMX");
    SaveAs(current, FactoryDefaults());
    const QFileInfo before(target);
    dialogs->names.enqueue(target);
    commands->FileSaveAs();
    QCOMPARE(boxes->shown.size(), 1);
    QVERIFY2(boxes->shown[0].text.contains("is not a regular file"),
             qPrintable(boxes->shown[0].text));
    QCOMPARE(boxes->shown[0].buttons, MsgButtons::Ok);
    QCOMPARE(program->State.CurrentFileName, current);
    QVERIFY(!QFileInfo(target).isFile());
    QCOMPARE(QFileInfo(target).isDir(), before.isDir());
}

void TestFiles::textKeepsEveryValue_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<double>("value");
    for (const RecordField* f : RecordFields::FileFields()) {
        QList<double> values{RecordFields::WidthMin(f->type), RecordFields::WidthMax(f->type)};
        values << (f->type == FieldType::Boolean ? QList<double>{1, 2, 255}
                   : std::isnan(f->min)          ? QList<double>{}
                                                 : QList<double>{f->min - 1, f->max + 1});
        for (const double value : values)
            QTest::addRow("%s = %.0f", f->name.data(), value)
                << int(f - kRecordFields.data()) << value;
    }
}

// Whatever a .QMX file holds goes through the text and back to the same bytes; what the window
// would not take comes with a warning naming the line. A header line cannot add a line.
void TestFiles::textKeepsEveryValue() {
    QFETCH(int, field);
    QFETCH(double, value);
    const RecordField& row = RecordFields::Row(field);
    ConfigRecord record = FactoryDefaults();
    row.set(record, value);
    const QString text = ParameterText::Export(record, {QStringLiteral("source: a\nctValue = 1")});
    const ParameterText::Imported imported = ParameterText::Import(text, ConfigRecord{});
    QVERIFY(imported.errors.isEmpty() && imported.missing.isEmpty());
    QByteArray expected(FileModule::kFileSize, '\0');
    QByteArray actual = expected;
    FileModule::RecordToImage(record, expected);
    FileModule::RecordToImage(imported.record, actual);
    QCOMPARE(actual.toHex(), expected.toHex());
    const QString name = RecordFields::Name(row) + " = ";
    const QString line =
        QStringLiteral("line %1: ").arg(text.left(text.indexOf(name)).count(u'\n') + 1);
    const bool unusual = row.type != FieldType::Boolean && !RecordFields::InRange(row, value);
    QCOMPARE(imported.warnings.filter(line + name).size(), unusual ? 1 : 0);
}

void TestFiles::textValues_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");    // NaN: refused
    QTest::addColumn<QString>("message"); // the error or warning naming line 1; empty: none
    const double refused = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("full-width plus")
        << QString("originOffset = \uFF0B5") << "originOffset" << 5.0 << "";
    QTest::newRow("full-width minus")
        << QString("originOffset = \uFF0D5") << "originOffset" << -5.0 << "";
    QTest::newRow("minus sign") << QString("originOffset = \u22125") << "originOffset" << -5.0
                                << "";
    QTest::newRow("leading zeros")
        << QString("runCurrent = 0000000000000400 # mA") << "runCurrent" << 400.0 << "";
    QTest::newRow("zeros only") << QString("ctValue = 0000000000000") << "ctValue" << 0.0 << "";
    QTest::newRow("a comment after a blank")
        << QString("originOffset = 12 #34") << "originOffset" << 12.0 << "";
    QTest::newRow("a # inside the value")
        << QString("originOffset = 12#34") << "originOffset" << refused << "line 1: \"12#34\"";
    QTest::newRow("a # right after the value")
        << QString("runCurrent = 400# mA") << "runCurrent" << refused << "line 1: \"400#";
    QTest::newRow("a plain 2 for a Boolean") << QString("autoExcitation = 2") << "autoExcitation"
                                             << -1.0 << "line 1: autoExcitation = 2 taken as True";
    QTest::newRow("True stored as 2")
        << QString("autoExcitation = True (stored as 2)") << "autoExcitation" << 2.0 << "";
    QTest::newRow("True stored as 0") << QString("autoExcitation = True (stored as 0)")
                                      << "autoExcitation" << refused << "line 1: \"True (stored";
}

// One line of a parameter text: the value it gives, or its refusal naming the line.
void TestFiles::textValues() {
    QFETCH(QString, line);
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, message);
    const ParameterText::Imported imported = ParameterText::Import(line + u'\n');
    const RecordField& row = *RecordFields::Named(field);
    const QStringList said = std::isnan(value) ? imported.errors : imported.warnings;
    QCOMPARE(said.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(said.first().startsWith(message), qPrintable(said.first()));
    if (std::isnan(value))
        return;
    QVERIFY(imported.errors.isEmpty());
    QCOMPARE(row.get(imported.record), value);
}

// Every field at a value the window would not take: 20 warnings listed, the rest counted.
void TestFiles::warningsBeyondTwentyCounted() {
    QString text;
    int expected = 0;
    for (const RecordField* f : RecordFields::FileFields()) {
        const bool boolean = f->type == FieldType::Boolean;
        const double above = f->max + 1;
        if (!boolean && !(above <= RecordFields::WidthMax(f->type)))
            continue;
        text += RecordFields::Name(*f) + QStringLiteral(" = %1\n").arg(qint64(boolean ? 2 : above));
        ++expected;
    }
    QVERIFY(expected > ParameterText::kShownErrors);
    const ParameterText::Imported imported = ParameterText::Import(text);
    QVERIFY2(imported.errors.isEmpty(), qPrintable(imported.errors.join('\n')));
    QCOMPARE(imported.warnings.size(), ParameterText::kShownErrors);
    QCOMPARE(imported.unshownWarnings, expected - ParameterText::kShownErrors);
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"

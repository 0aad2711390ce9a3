// Any bytes as a .QMX file: load it, show every field, build the store commands, decode the
// two dates. A refused file must leave the record and the held blocks as they were; a loaded
// one must save back to the same field bytes and the same header.
//
// The bytes after the 256th are not part of the file (the loader never reads them); the first
// of them, when present, chooses the situation: bit 0 connected, bit 1 answer Yes to the
// serial-number question, bit 2 check the serial number.

#include "files/FileModule.h"
#include "link/QMXModule.h"
#include "shell/MainModule.h"
#include "shell/RecordFields.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Files = FileModule;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_qmx_file: %s\n", what);
    std::abort();
}

// Bytes 176..223 and 246..255 lie between the file's fields: no record field is kept there.
bool IsFieldByte(int offset) {
    return !(offset >= 176 && offset < 224) && !(offset >= 246 && offset < Files::kFileSize);
}

// A record and blocks unlike anything a file loads, so that any change shows.
void PrepareHeldState(Program& program, FileModule& files, quint8 situation) {
    MainModule::InitProgram(program, QString());
    ConfigRecord& r = program.Config;
    r.defaultSpeedMin = 12345;
    r.jogDialPulses = 4321;
    r.limitSensorMode = {7, -7};
    files.ConfigFileHeader.fill(0xA5);
    files.ConfigFileParams1.fill(0x5A);
    files.ConfigFileParams2.fill(0x3C);
    program.State.IsConnected = ToBoolean(situation & 1);
    program.Options.CheckSerialNo = ToBoolean(situation & 4);
    program.State.ControllerSerialNo = QStringLiteral("1234567890");
}

void ShowEverything(const ConfigRecord& record) {
    for (const RecordField* field : RecordFields::FileFields())
        if (RecordFields::ShowValue(*field, record).isEmpty())
            Fail("a field shows as empty text");
    if (const auto commands = QMXModule::StoreCommands(record)) {
        for (const QString& command : *commands)
            for (const QChar c : command)
                if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                    Fail("a store command holds a character the line cannot carry");
    }
}

// Any eight bytes give a date or none, never undefined behaviour.
void DecodeDates(const QByteArray& image) {
    for (const int offset : {Files::kCreatedOffset, Files::kUpdatedOffset})
        if (Files::ImageDateText(image, offset).isEmpty())
            Fail("a date shows as empty text");
}

void CheckSavesBack(FileModule& files, const QByteArray& file) {
    if (std::memcmp(files.ConfigFileHeader.data(), file.constData(), Files::kHeaderSize) != 0)
        Fail("the held header differs from the file's");
    files.FillFileRecord();
    const QByteArray saved = files.FileImage();
    if (std::memcmp(saved.constData(), file.constData(), Files::kHeaderSize) != 0)
        Fail("saving changed the header");
    for (int offset = Files::kParams1Offset; offset < Files::kFileSize; ++offset)
        if (IsFieldByte(offset) && saved[offset] != file[offset])
            Fail("a field does not save back to the bytes it was loaded from");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QStringLiteral("/dev/shm/fuzz_qmx_file-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input.QMX"));

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Fail("cannot write the input file");
    file.close();

    const quint8 situation = size > size_t(Files::kFileSize) ? data[Files::kFileSize] : 0;
    Program program;
    FileModule files(program);
    PrepareHeldState(program, files, situation);
    const bool answerYes = (situation & 2) != 0;
    const ConfigRecord recordBefore = program.Config;
    const QByteArray blocksBefore = files.FileImage();

    const Result loaded =
        files.LoadConfigFile(path, [answerYes](const Question&) { return answerYes; });
    if (!loaded) {
        if (!(program.Config == recordBefore) || files.FileImage() != blocksBefore)
            Fail("a refused file changed the record or the held blocks");
        return 0;
    }
    if (size < size_t(Files::kFileSize))
        Fail("a file shorter than 256 bytes loaded");
    const QByteArray image = bytes.first(Files::kFileSize);
    ShowEverything(program.Config);
    DecodeDates(image);
    CheckSavesBack(files, image);
    return 0;
}

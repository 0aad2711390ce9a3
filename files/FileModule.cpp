#include "files/FileModule.h"

#include "shell/RecordFields.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

constexpr int kFileSize = FileModule::kFileSize;
constexpr int kHeaderSize = FileModule::kHeaderSize;
constexpr int kParams1Offset = FileModule::kParams1Offset;
constexpr int kParams1Size = FileModule::kParams1Size;
constexpr int kParams2Offset = FileModule::kParams2Offset;
constexpr int kParams2Size = FileModule::kParams2Size;
constexpr int kSerialChars = FileModule::kSerialChars;

constexpr int Width(FieldType type) {
    return type == FieldType::Long ? 4 : 2;
}

// The fields the file holds do not overlap, and each lies inside one parameter block.
constexpr bool FieldsFitBlocks() {
    for (const RecordField& a : kRecordFields) {
        if (a.fileOffset < 0)
            continue;
        const int end = a.fileOffset + Width(a.type);
        const bool inFirst = a.fileOffset >= kParams1Offset && end <= kParams2Offset;
        const bool inSecond = a.fileOffset >= kParams2Offset && end <= kFileSize;
        if (!(inFirst || inSecond) || a.type == FieldType::Real)
            return false;
        for (const RecordField& b : kRecordFields)
            if (&a != &b && b.fileOffset >= 0 && b.fileOffset < end &&
                a.fileOffset < b.fileOffset + Width(b.type))
                return false;
    }
    return true;
}
static_assert(FieldsFitBlocks());

struct HeldBlocks {
    std::array<quint8, 128> header;
    std::array<quint8, 96> params1;
    std::array<quint8, 32> params2;
};

HeldBlocks SplitIntoBlocks(const QByteArray& image) {
    HeldBlocks blocks;
    std::memcpy(blocks.header.data(), image.constData(), kHeaderSize);
    std::memcpy(blocks.params1.data(), image.constData() + kParams1Offset, kParams1Size);
    std::memcpy(blocks.params2.data(), image.constData() + kParams2Offset, kParams2Size);
    return blocks;
}

QDate OleEpoch() {
    return {1899, 12, 30};
}
constexpr double kMsecsPerDay = 86400000.0;

QString StoreTitle(Language lang) {
    return lang.JaEn(QStringLiteral("QMX-001設定ファイル書込"),
                     QStringLiteral("Store QMX-001 config file"));
}

QString LoadTitle(Language lang) {
    return lang.JaEn(QStringLiteral("QMX-001設定ファイル読込"),
                     QStringLiteral("Load QMX-001 config file"));
}

// Serial number as the file holds it: one byte per character, 0 where the text runs out.
std::array<quint8, kSerialChars> SerialBytes(const QString& serialNo) {
    std::array<quint8, kSerialChars> bytes{};
    for (int i = 0; i < kSerialChars && i < serialNo.size(); ++i) {
        const char16_t code = serialNo.at(i).unicode();
        bytes[i] = code < 0x100 ? static_cast<quint8>(code) : quint8('?');
    }
    return bytes;
}

// A folder, a device or a pipe is never a configuration file: replacing one would destroy it,
// and reading a pipe would wait for a writer forever.
QString NotRegularText(const QString& fileName, Language lang) {
    return lang.JaEn(
        QStringLiteral("%1 は通常のファイルではありません (フォルダ、デバイスまたはパイプ)。"
                       "ファイルを選んでください。")
            .arg(fileName),
        QStringLiteral("%1 is not a regular file (it is a folder, a device or a pipe). "
                       "Choose a file.")
            .arg(fileName));
}

bool IsSpecial(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && !info.isFile();
}

} // namespace

struct FileModule::Blocks : HeldBlocks {};

FileModule::Blocks FileModule::HeldBlocks() const {
    return {{ConfigFileHeader, ConfigFileParams1, ConfigFileParams2}};
}

void FileModule::KeepBlocks(const Blocks& blocks) {
    ConfigFileHeader = blocks.header;
    ConfigFileParams1 = blocks.params1;
    ConfigFileParams2 = blocks.params2;
}

void FileModule::PutSerial(const QString& serialNo) {
    const auto bytes = SerialBytes(serialNo);
    std::memcpy(ConfigFileHeader.data() + kSerialOffset, bytes.data(), bytes.size());
}

void FileModule::PutNow(int offset, double now) {
    qToLittleEndian<double>(now, ConfigFileHeader.data() + offset);
}

void FileModule::PutVersion() {
    qToLittleEndian<qint16>(kVersionMajor, ConfigFileHeader.data() + kVersionMajorOffset);
    qToLittleEndian<qint16>(kVersionMinor, ConfigFileHeader.data() + kVersionMinorOffset);
}

// Writes the held blocks.
Result FileModule::WriteHeld(const QString& fileName) {
    if (IsSpecial(fileName))
        return Failure{StoreTitle(Lang()), NotRegularText(fileName, Lang())};
    QString error;
    if (!WriteWholeFile(fileName, FileImage(), error, Lang()))
        return Failure{StoreTitle(Lang()), error};
    return {};
}

// Writes the held blocks as a new file; a file already there is replaced only when the
// operator says so.
Result FileModule::WriteNew(const QString& fileName, const AskOperator& ask) {
    if (IsSpecial(fileName))
        return Failure{StoreTitle(Lang()), NotRegularText(fileName, Lang())};
    // A symbolic link to nothing counts as a file: the save would make its target.
    if ((QFileInfo::exists(fileName) || QFileInfo(fileName).isSymLink()) &&
        !ask({StoreTitle(Lang()),
              Lang().JaEn(QStringLiteral("設定ファイルが既に存在します。上書きしますか？"),
                          QStringLiteral("Already config file. Over write ?"))}))
        return Result::Declined();
    return WriteHeld(fileName);
}

// The old file is replaced only once the new one is complete, so a full disk or a crash never
// leaves a truncated file behind. Unbuffered, because a short write hidden in the buffer's
// final flush would otherwise still be committed.
bool FileModule::WriteWholeFile(const QString& fileName, const QByteArray& bytes, QString& error,
                                Language language) {
    if (IsSpecial(fileName)) {
        error = NotRegularText(fileName, language);
        return false;
    }
    QSaveFile file(fileName);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 done = 0; ok && done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        ok = written > 0;
        done += written;
    }
    if (!ok || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool FileModule::IsSpecialFile(const QString& fileName) {
    return IsSpecial(fileName);
}

QByteArray FileModule::FileImage() const {
    QByteArray image(kFileSize, '\0');
    std::memcpy(image.data(), ConfigFileHeader.data(), kHeaderSize);
    std::memcpy(image.data() + kParams1Offset, ConfigFileParams1.data(), kParams1Size);
    std::memcpy(image.data() + kParams2Offset, ConfigFileParams2.data(), kParams2Size);
    return image;
}

// Booleans are kept exactly as the record holds them.
void FileModule::RecordToImage(const ConfigRecord& record, QByteArray& image) {
    Q_ASSERT(image.size() >= kFileSize);
    for (const RecordField* field : RecordFields::FileFields()) {
        char* at = image.data() + field->fileOffset;
        if (field->type == FieldType::Long)
            qToLittleEndian<qint32>(qint32(field->get(record)), at);
        else
            qToLittleEndian<qint16>(qint16(field->get(record)), at);
    }
}

void FileModule::ImageToRecord(const QByteArray& image, ConfigRecord& record) {
    Q_ASSERT(image.size() >= kFileSize);
    for (const RecordField* field : RecordFields::FileFields()) {
        const char* at = image.constData() + field->fileOffset;
        if (field->type == FieldType::Long)
            field->set(record, qFromLittleEndian<qint32>(at));
        else
            field->set(record, qFromLittleEndian<qint16>(at));
    }
}

void FileModule::FillFileRecord() {
    QByteArray image = FileImage();
    RecordToImage(program_.Config, image);
    const auto blocks = SplitIntoBlocks(image);
    ConfigFileParams1 = blocks.params1;
    ConfigFileParams2 = blocks.params2;
}

Result FileModule::SaveConfigFile() {
    return SaveConfigFile(program_.State.CurrentFileName);
}

Result FileModule::CreateConfigFile(const QString& fileName, const AskOperator& ask) {
    const Blocks before = HeldBlocks();
    const double now = ToOleDate(QDateTime::currentDateTime());

    ConfigFileHeader.fill(0);
    std::memcpy(ConfigFileHeader.data() + kIdentityOffset, kIdentity, kIdentitySize);
    PutNow(kCreatedOffset, now);
    PutNow(kUpdatedOffset, now);
    PutVersion();
    PutSerial(IsTrue(program_.State.IsConnected) ? program_.State.ControllerSerialNo
                                                 : QStringLiteral("0000000000"));
    std::memset(ConfigFileHeader.data() + kTextAreaOffset, ' ', kTextAreaSize);
    ConfigFileParams1.fill(0);
    ConfigFileParams2.fill(0);
    FillFileRecord();

    Result written = WriteNew(fileName, ask);
    if (!written) // a later Save onto the current file must still write that file's own header
        KeepBlocks(before);
    return written;
}

Result FileModule::SaveConfigFile(const QString& fileName) {
    const Blocks before = HeldBlocks();
    PutNow(kUpdatedOffset, ToOleDate(QDateTime::currentDateTime()));
    PutVersion();
    if (IsTrue(program_.State.IsConnected))
        PutSerial(program_.State.ControllerSerialNo);
    FillFileRecord();
    Result written = WriteHeld(fileName);
    if (!written)
        KeepBlocks(before);
    return written;
}

Result FileModule::LoadConfigFile(const QString& fileName, const AskOperator& ask) {
    // Everything is checked on a copy: a refused file leaves record and blocks untouched.
    QByteArray image;
    QString error;
    if (!ReadFileImage(fileName, image, error, Lang()))
        return Failure{LoadTitle(Lang()), error};
    if (!HasIdentity(image))
        return Failure{LoadTitle(Lang()),
                       Lang().JaEn(QStringLiteral("QMX-001の設定ファイルではありません。"),
                                   QStringLiteral("Not QMX-001 config file, Cannot loaded."))};
    // The file holds at most ten characters, so a controller is recognised by what a Save
    // would have written for it.
    const bool sameSerial =
        std::memcmp(image.constData() + kSerialOffset,
                    SerialBytes(program_.State.ControllerSerialNo).data(), kSerialChars) == 0;
    if (IsTrue(program_.Options.CheckSerialNo) && IsTrue(program_.State.IsConnected) &&
        !sameSerial &&
        !ask({LoadTitle(Lang()),
              Lang().JaEn(
                  QStringLiteral("接続されたQMXと設定ファイルが異なります。読込を続けますか？"),
                  QStringLiteral("Mismuch QMX and Config file,Contiue load file ?"))}))
        return Result::Declined();
    ImageToRecord(image, program_.Config);
    KeepBlocks({SplitIntoBlocks(image)});
    return {};
}

bool FileModule::ReadFileImage(const QString& fileName, QByteArray& image, QString& error,
                               Language language) {
    if (IsSpecial(fileName)) {
        error = NotRegularText(fileName, language);
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    QByteArray bytes = file.read(kFileSize);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    if (bytes.size() < kFileSize) {
        error = language.JaEn(
            QStringLiteral("ファイルが短すぎます。QMX-001の設定ファイルではありません。"),
            QStringLiteral("The file is too short to be a QMX-001 config file."));
        return false;
    }
    image = std::move(bytes);
    return true;
}

bool FileModule::HasIdentity(const QByteArray& image) {
    return image.left(kIdentitySize) == QByteArray(kIdentity);
}

QString FileModule::ImageSerialNo(const QByteArray& image) {
    const QByteArray field = image.mid(kSerialOffset, kSerialChars);
    const qsizetype end = field.indexOf('\0');
    return QString::fromLatin1(end < 0 ? field : field.left(end));
}

QString FileModule::ImageDateText(const QByteArray& image, int offset) {
    const QDateTime when = FromOleDate(ImageDate(image, offset));
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("invalid date");
}

QString FileModule::ImageVersion(const QByteArray& image) {
    const auto major = qFromLittleEndian<qint16>(image.constData() + kVersionMajorOffset);
    const auto minor = qFromLittleEndian<qint16>(image.constData() + kVersionMinorOffset);
    return QStringLiteral("%1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
}

double FileModule::ImageDate(const QByteArray& image, int offset) {
    Q_ASSERT(image.size() >= offset + 8);
    return qFromLittleEndian<double>(image.constData() + offset);
}

double FileModule::ToOleDate(const QDateTime& when) {
    const QDateTime local = when.toLocalTime();
    const qint64 days = OleEpoch().daysTo(local.date());
    const double fraction = local.time().msecsSinceStartOfDay() / kMsecsPerDay;
    // Before the epoch the whole part counts back while the fraction still counts forward.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime FileModule::FromOleDate(double date) {
    // Outside the years 100 to 9999 (and NaN) the eight bytes hold no date.
    constexpr double kFirstDay = -657434.0;
    constexpr double kLastDay = 2958466.0;
    if (!(date >= kFirstDay && date < kLastDay))
        return {};
    const double whole = std::trunc(date);
    qint64 days = qint64(whole);
    qint64 msecs = qRound64(std::fabs(date - whole) * kMsecsPerDay);
    if (msecs >= qint64(kMsecsPerDay)) {
        // Rounded up to the next midnight, which is a day later whatever the sign.
        msecs -= qint64(kMsecsPerDay);
        days += 1;
    }
    return QDateTime(OleEpoch().addDays(days), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Language.h"
#include "shell/MainModule.h"
#include "shell/Result.h"
#include "shell/Version.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>

// The ".QMX" configuration file: 256 bytes, little-endian, a header and two parameter blocks, and
// the file operations of a program on its record and state. The three blocks are held for the
// run; Open fills them, Save As builds them anew and Save writes back the held header with only
// the updated date, version and serial refreshed. Every operation returns what went wrong, and
// asks its questions through ask.
class FileModule {
public:
    static constexpr int kFileSize = 256;
    static constexpr int kHeaderSize = 128;
    static constexpr int kParams1Offset = 128;
    static constexpr int kParams1Size = 96;
    static constexpr int kParams2Offset = 224;
    static constexpr int kParams2Size = 32;

    // Header fields (offsets from the start of the file).
    static constexpr int kIdentityOffset = 0;
    static constexpr int kIdentitySize = 6;
    static constexpr int kCreatedOffset = 7;
    static constexpr int kUpdatedOffset = 15;
    static constexpr int kVersionMajorOffset = 23;
    static constexpr int kVersionMinorOffset = 25;
    static constexpr int kSerialOffset = 27;
    static constexpr int kSerialSize = 17;
    static constexpr int kSerialChars = 10;
    static constexpr int kTextAreaOffset = 44;
    static constexpr int kTextAreaSize = 64;
    static constexpr int kTextAreaEnd = 108; // the 0 byte after the text area
    static constexpr int kHeaderReservedOffset = 109;

    static constexpr const char* kIdentity = "QMX001";
    static constexpr qint16 kVersionMajor = QMX_VERSION_MAJOR;
    static constexpr qint16 kVersionMinor = QMX_VERSION_MINOR;

    // Replaces the file with these bytes whole, or keeps the old file: false with the platform's
    // reason in error. Folders, devices and pipes are refused.
    static bool WriteWholeFile(const QString& fileName, const QByteArray& bytes, QString& error,
                               Language language);
    // The name exists and is a folder, a device or a pipe.
    static bool IsSpecialFile(const QString& fileName);

    // Writes the record's file fields into a 256-byte image; the other bytes are kept.
    static void RecordToImage(const ConfigRecord& record, QByteArray& image);
    // Copies the file fields of a 256-byte image into the record; the fields the file does not
    // hold keep their values.
    static void ImageToRecord(const QByteArray& image, ConfigRecord& record);

    // The first 256 bytes of a file. False with the reason in error (the platform's text, or
    // a too-short file) when they cannot be read. Neither the blocks nor the record change.
    static bool ReadFileImage(const QString& fileName, QByteArray& image, QString& error,
                              Language language);

    // The image begins with the identity, case included.
    static bool HasIdentity(const QByteArray& image);
    // The serial number held in an image: its first ten bytes, up to the first 0 byte.
    static QString ImageSerialNo(const QByteArray& image);
    // The date stored at offset (kCreatedOffset or kUpdatedOffset) of an image.
    static double ImageDate(const QByteArray& image, int offset);
    // That date in local time as "yyyy-MM-dd HH:mm:ss", or "invalid date".
    static QString ImageDateText(const QByteArray& image, int offset);
    // The program version that wrote the image, "1.23".
    static QString ImageVersion(const QByteArray& image);

    // Local date and time <-> OLE Automation date: days since 1899-12-30 00:00, the fraction
    // being the time of day. A value that holds no date (NaN, beyond the years 100 to 9999)
    // gives an invalid QDateTime.
    static double ToOleDate(const QDateTime& when);
    static QDateTime FromOleDate(double date);

    explicit FileModule(Program& program) : program_(program) {}

    std::array<quint8, 128> ConfigFileHeader{}; // offsets 0..127, all 0 at start
    std::array<quint8, 96> ConfigFileParams1{}; // offsets 128..223
    std::array<quint8, 32> ConfigFileParams2{}; // offsets 224..255

    Result CreateConfigFile(const QString& fileName, const AskOperator& ask); // Save As
    Result SaveConfigFile(const QString& fileName);                           // Save
    Result LoadConfigFile(const QString& fileName, const AskOperator& ask);   // Open
    // Save on the program's current file.
    Result SaveConfigFile();
    void FillFileRecord(); // record -> the two parameter blocks

    // The three held blocks as one file image.
    QByteArray FileImage() const;

private:
    struct Blocks;
    Blocks HeldBlocks() const;
    void KeepBlocks(const Blocks& blocks);
    void PutSerial(const QString& serialNo);
    void PutNow(int offset, double now);
    void PutVersion();
    Result WriteHeld(const QString& fileName);
    Result WriteNew(const QString& fileName, const AskOperator& ask);
    Language Lang() const { return program_.Lang(); }

    Program& program_;
};

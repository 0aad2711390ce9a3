#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Result.h"
#include "shell/Version.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>

// The ".QMX" configuration file: 256 bytes, little-endian, a header and two parameter blocks.
// The three blocks are held once for the run; Open fills them, Save As builds them anew and
// Save writes back the held header with only the updated date, version and serial refreshed.
// Every operation returns what went wrong, and asks its questions through ask.
namespace FileModule {

inline constexpr int kFileSize = 256;
inline constexpr int kHeaderSize = 128;
inline constexpr int kParams1Offset = 128;
inline constexpr int kParams1Size = 96;
inline constexpr int kParams2Offset = 224;
inline constexpr int kParams2Size = 32;

// Header fields (offsets from the start of the file).
inline constexpr int kIdentityOffset = 0;
inline constexpr int kIdentitySize = 6;
inline constexpr int kCreatedOffset = 7;
inline constexpr int kUpdatedOffset = 15;
inline constexpr int kVersionMajorOffset = 23;
inline constexpr int kVersionMinorOffset = 25;
inline constexpr int kSerialOffset = 27;
inline constexpr int kSerialSize = 17;
inline constexpr int kSerialChars = 10;
inline constexpr int kTextAreaOffset = 44;
inline constexpr int kTextAreaSize = 64;
inline constexpr int kTextAreaEnd = 108; // the 0 byte after the text area
inline constexpr int kHeaderReservedOffset = 109;

inline constexpr const char* kIdentity = "QMX001";
inline constexpr qint16 kVersionMajor = QMX_VERSION_MAJOR;
inline constexpr qint16 kVersionMinor = QMX_VERSION_MINOR;

extern std::array<quint8, 128> ConfigFileHeader; // offsets 0..127, all 0 at start
extern std::array<quint8, 96> ConfigFileParams1; // offsets 128..223
extern std::array<quint8, 32> ConfigFileParams2; // offsets 224..255

Result CreateConfigFile(const QString& fileName, const AskOperator& ask); // Save As
Result SaveConfigFile(const QString& fileName);                           // Save
Result LoadConfigFile(const QString& fileName, const AskOperator& ask);   // Open
// Save on MainModule::State.CurrentFileName.
Result SaveConfigFile();
void FillFileRecord(); // record -> the two parameter blocks

// Replaces the file with these bytes whole, or keeps the old file: false with the platform's
// reason in error. Folders, devices and pipes are refused.
bool WriteWholeFile(const QString& fileName, const QByteArray& bytes, QString& error);
// The name exists and is a folder, a device or a pipe.
bool IsSpecialFile(const QString& fileName);

// The three held blocks as one file image.
QByteArray FileImage();

// Writes the record's file fields into a 256-byte image; the other bytes are kept.
void RecordToImage(const ConfigRecord& record, QByteArray& image);
// Copies the file fields of a 256-byte image into the record; the fields the file does not
// hold keep their values.
void ImageToRecord(const QByteArray& image, ConfigRecord& record);

// The first 256 bytes of a file. False with the reason in error (the platform's text, or
// a too-short file) when they cannot be read. Neither the blocks nor the record change.
bool ReadFileImage(const QString& fileName, QByteArray& image, QString& error);

// The image begins with the identity, case included.
bool HasIdentity(const QByteArray& image);
// The serial number held in an image: its first ten bytes, up to the first 0 byte.
QString ImageSerialNo(const QByteArray& image);
// The date stored at offset (kCreatedOffset or kUpdatedOffset) of an image.
double ImageDate(const QByteArray& image, int offset);
// That date in local time as "yyyy-MM-dd HH:mm:ss", or "invalid date".
QString ImageDateText(const QByteArray& image, int offset);
// The program version that wrote the image, "1.23".
QString ImageVersion(const QByteArray& image);

// Local date and time <-> OLE Automation date: days since 1899-12-30 00:00, the fraction
// being the time of day. A value that holds no date (NaN, beyond the years 100 to 9999)
// gives an invalid QDateTime.
double ToOleDate(const QDateTime& when);
QDateTime FromOleDate(double date);

} // namespace FileModule

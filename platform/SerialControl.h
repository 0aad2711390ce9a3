#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

// Why a device could not be opened, as data: the link words it in the chosen language.
struct OpenFailure {
    enum class Kind {
        Other,        // reason says why
        NoDevice,     // no device given
        BadSettings,  // the settings string cannot be used
        Missing,      // the device is not there
        Busy,         // another program holds it
        NoPermission, // this user may not open it
    };
    Kind kind = Kind::Other;
    QString device;
    QString reason;   // the platform's own text
    QString lockFile; // Busy: the lock file of the holder, when one was found
    QString holder;   // Busy: the holding program's name, when known
    qint64 holderPid = 0;
    QString group;               // NoPermission: the device's group
    bool groupHasAccess = false; // NoPermission: joining the group would help
};

// The serial communications control the link drives: open a device with a settings string
// such as "9600,N,8,1", modem lines, write, read everything received, and a notification
// when characters arrive.
class SerialControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the device; false with ErrorText() set when it cannot be opened.
    virtual bool Open(const QString& device, const QString& settings) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual void SetRts(bool on) = 0;
    virtual void SetDtr(bool on) = 0;
    // The far end signals ready. A port whose modem lines cannot be read counts as ready.
    virtual bool CtsHolding() = 0;
    virtual bool Write(const QByteArray& data) = 0;
    virtual QByteArray ReadAll() = 0;
    // Text of the last failure.
    virtual QString ErrorText() const = 0;
    // The last failed open, as data.
    virtual OpenFailure LastOpenFailure() const {
        OpenFailure failure;
        failure.reason = ErrorText();
        return failure;
    }

signals:
    // Characters have arrived (the receive event).
    void Received();
    // The device went away; the port has already been closed.
    void Lost();
};

} // namespace platform

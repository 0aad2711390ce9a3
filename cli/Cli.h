#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// qmxcli's commands on the core. Each returns the process's exit code.
namespace cli {

enum ExitCode { kOk = 0, kBadArguments = 1, kFailed = 2, kNoController = 3, kMismatch = 4 };

// What the command line asked for, once checked.
struct Invocation {
    QString command;
    QStringList files; // the command's file arguments
    QString device;    // empty: the device behind COM Options.ComPort
    bool yes = false;
    int mapPort = 0; // ports --map N / --unmap N
    bool unmap = false;
};

QTextStream& Out();

int Info(const Invocation& call);
int Read(const Invocation& call);
int Write(const Invocation& call);
int Show(const Invocation& call);
int Defaults(const Invocation& call);
int Diff(const Invocation& call);
int Ports(const Invocation& call);

} // namespace cli

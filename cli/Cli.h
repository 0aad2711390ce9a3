#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QTextStream;

// qmxcli's commands on the core. Each returns the process's exit code.
namespace cli {

enum ExitCode { kOk = 0, kBadArguments = 1, kFailed = 2, kNoController = 3, kMismatch = 4 };

// What the command line asked for, once checked.
struct Invocation {
    QString command;
    QStringList files;               // the command's file arguments
    QString device;                  // empty: the device behind COM Options.ComPort
    QStringList targets;             // several ports: one child process each
    bool targetsAreComPorts = false; // else device paths
    QStringList passOn;              // the options the children get besides their port
    bool yes = false;
    bool json = false;
    bool verify = false;
    bool trace = false;
    int mapPort = 0; // ports --map N / --unmap N
    bool unmap = false;
};

QTextStream& Out();
// One JSON document on standard output.
void PrintJson(const QJsonObject& document);

int Info(const Invocation& call);
int Read(const Invocation& call);
int Write(const Invocation& call);
int Show(const Invocation& call);
int Defaults(const Invocation& call);
int Diff(const Invocation& call);
int Export(const Invocation& call);
int Import(const Invocation& call);
int Ports(const Invocation& call);

// The same command on every target at once, one child process each; one result line per
// target, and the worst exit code.
int RunInParallel(const Invocation& call);

} // namespace cli

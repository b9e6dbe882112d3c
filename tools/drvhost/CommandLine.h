// drvhost's command line: the plug-in file, the options, and the reads and writes to run, all
// checked before anything is loaded, so that a mistake costs one line of error and no PLC call.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QList>
#include <QString>
#include <QStringList>

#include "CLabelVariable.h"

struct Operation {
    enum Kind { Read, Write };
    Kind kind = Read;
    QString address;
    int type = 0;            // a DataType, 1..11
    int count = 1;
    CLabelVariable value;    // the elements to write (Write only)
    QString valueText;       // as given, for the printed lines

    // "read DB5.DBW20 Int16 x2": names the operation in the printed lines and the summary.
    QString label() const;
};

struct CommandLine {
    static constexpr int MaxRepeat = 1000000;
    static constexpr int MaxIntervalMs = 3600 * 1000;

    bool help = false;
    QString plugin;
    QString connectText;
    QString station;
    bool debug = false;
    int repeat = 0;           // 0: not given; each operation runs once and no summary is printed
    int intervalMs = 0;       // pause between rounds
    QList<Operation> operations;
};

// Parses the arguments after the program name. False with *error set to one line (without the
// program name) when they are not a valid command line.
bool parseCommandLine(const QStringList &args, CommandLine *out, QString *error);

// The text of drvhost --help.
QString helpText();

#endif // COMMANDLINE_H

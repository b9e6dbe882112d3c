// The soak's run: random reads and writes of random areas, addresses, types and counts through
// one driver, every value returned with result 0 checked against the memory model, every call
// timed.
#ifndef SOAK_H
#define SOAK_H

#include <QList>
#include <QMap>
#include <QString>
#include <QTextStream>

#include <random>

#include "CDriveBaseClass.h"
#include "MemoryModel.h"

class Soak
{
public:
    struct Settings {
        QString connectText;
        QString station;        // for SetConnectPar; empty: not called
        int calls = 1000;
        quint64 seed = 1;
        int callBoundMs = 3000;     // a read or write: the answer wait and a margin
        int connectBoundMs = 9000;  // a connect: TCP, the set-up exchanges and a margin
    };
    struct Outcome {
        QMap<int, int> results;     // result code -> calls
        int wrongValues = 0;
        int calls = 0;
        int reconnects = 0;
        qint64 longestCallMs = 0;
        QString longestCall;
        qint64 longestConnectMs = 0;
        bool overBound = false;
    };

    Soak(CDriveBaseClass *driver, const Settings &settings, QTextStream &log);
    Outcome run();

private:
    struct Area {
        const char *letter;     // I, Q, M, V, or "DB5" for data block 5
        bool dataBlock;
    };
    struct Request {
        int area = 0;
        int byteAddress = 0;
        int bit = 0;
        int type = 0;
        int count = 0;
        QString text;
    };

    Request randomRequest(bool write);
    void read(const Request &r);
    void write(const Request &r);
    bool connect();
    void timed(qint64 ms, const Request &r, const char *what);
    int below(int n);

    CDriveBaseClass *driver;
    Settings settings;
    QTextStream &log;
    std::mt19937_64 random;
    MemoryModel model;
    Outcome outcome;
    int failuresInARow = 0;
    QList<Request> tags;
};

#endif // SOAK_H

// The interface a host runtime drives a PLC driver plug-in through.
// The slot order of the virtual operations is a binary contract with the host: never reorder.
#ifndef CDRIVEBASECLASS_H
#define CDRIVEBASECLASS_H

#include <QObject>
#include <QString>

#include "CLabelVariable.h"

// Element type of a variable. The drivers read and write 1 to 11; 12 and 13..40 are known only
// to CLabelVariable (its arithmetic maps 13..40 onto the types below).
enum DataType {
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Float = 8,
    Int64 = 9,
    UInt64 = 10,
    Double = 11,
    String = 12
};

enum EDebugCmdType {
    StartDebug = 0,
    StopDebug = 1,
    GetVersion = 2,
    GetDriveName = 3
};

// Result codes carried in CLabelVariable::resultCode of every read or write result.
namespace ResultCode {
constexpr int Success = 0;
constexpr int NotTried = 1;        // initial code of a read result
constexpr int BadType = 2;         // DataType not one of 1..11
constexpr int BadArea = 3;         // no known memory area in the address
constexpr int BadCount = 4;        // element count out of range
constexpr int BadAddress = 5;      // byte address out of range
constexpr int InputWrite = 6;      // write into the input area
constexpr int WrongAnswer = 7;     // transport result -1
constexpr int NoAnswer = 8;        // transport result -2
constexpr int LinkDown = 9;        // transport result -3: nothing was sent

// Maps a transport result (0, -1, -2, -3) to a result code; anything else gives `otherwise`.
inline int fromTransport(int transportResult, int otherwise)
{
    switch (transportResult) {
    case 0: return Success;
    case -1: return WrongAnswer;
    case -2: return NoAnswer;
    case -3: return LinkDown;
    default: return otherwise;
    }
}
}

// No virtual destructor by contract: a host disposes of a driver through its QObject part.
class CDriveBaseClass
{
public:
    virtual QString getDriveName() = 0;                                                          // 1
    virtual QString getversion_number() = 0;                                                     // 2
    virtual QString DebugCmd(EDebugCmdType cmd) = 0;                                             // 3
    virtual int ConnectDrive(QString par) = 0;                                                   // 4
    virtual int SetConnectPar(QString par) = 0;                                                  // 5
    virtual int DisConnectDrive() = 0;                                                           // 6
    virtual CLabelVariable ReadVariable(QString address, DataType type) = 0;                     // 7
    virtual CLabelVariable ReadVariable(QString address, DataType type, int count) = 0;          // 8
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) = 0;   // 9
    virtual CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value,
                                         int count) = 0;                                         // 10
    virtual int DestroyFree() = 0;                                                               // 11
};

Q_DECLARE_INTERFACE(CDriveBaseClass, "CDriveBaseClass")

// The factory every plug-in exports with C linkage.
extern "C" CDriveBaseClass *getSharedLibrary();
typedef CDriveBaseClass *(*GetSharedLibraryFn)();

#endif // CDRIVEBASECLASS_H

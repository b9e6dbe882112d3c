// What both driver facades answer alike: identification, the four data operations of the host
// contract and their inner steps Read_data and Write_data (all onto one RequestPipeline), and
// the address parsers the contract names. A facade adds its texts, its Rules, its connection
// text and what else differs; `Transport` is its transport, a JobPort.
//
// The decoders and encoders of ValueCodec are the facades' own members by inheritance.
#ifndef DRIVERFACADE_H
#define DRIVERFACADE_H

#include <QDebug>
#include <QString>

#include "AddressGrammar.h"
#include "CDriveBaseClass.h"
#include "CLabelVariable.h"
#include "CodePageField.h"
#include "DriverIdentity.h"
#include "PlcPlace.h"
#include "RequestCheck.h"
#include "RequestPipeline.h"
#include "ValueCodec.h"

template<typename Transport>
class DriverFacade : public CDriveBaseClass, public ValueCodec
{
public:
    enum AreaType { AreaNone = 0, AreaInput = 0x81, AreaOutput = 0x82, AreaFlag = 0x83, AreaDataBlock = 0x84 };

    QString getDriveName() override { return QString::fromLatin1(texts.driveName); }
    QString getversion_number() override { return QString::fromLatin1(texts.versionNumber); }
    QString DebugCmd(EDebugCmdType cmd) override
    {
        return DriverIdentity::debugCommand(cmd, getDriveName(), texts.versionText(), &transport.debugFlag);
    }
    CLabelVariable ReadVariable(QString address, DataType type) override { return ReadVariable(address, type, 1); }
    CLabelVariable ReadVariable(QString address, DataType type, int count) override
    {
        return requests.read(address, type, count);
    }
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value) override
    {
        return WriteVariable(address, type, value, 1);
    }
    CLabelVariable WriteVariable(QString address, DataType type, CLabelVariable value, int count) override
    {
        return requests.write(address, type, value, count);
    }
    int DestroyFree() override { return transport.DestroyFree(); }

    AreaType getArea(QString address) { return AreaType(AddressGrammar::area(address)); }
    int getAddr(QString address, AreaType) { return AddressGrammar::byteAddress(address); }
    int getmodule_number(QString address, AreaType) { return AddressGrammar::dbNumber(address, vIsDataBlock1); }
    int getBytelen(DataType type, int count) { return RequestCheck::saturated(AddressGrammar::byteLength(type, count)); }

    CLabelVariable Read_data(int byteAddress, int dbNumber, int bitNumber, DataType type, int count, int area,
                             QString address)
    {
        return requests.readAt(PlcPlace{area, dbNumber, byteAddress, bitNumber, address}, type, count);
    }
    CLabelVariable Write_data(int byteAddress, int dbNumber, int bitNumber, DataType type, int count,
                              CLabelVariable value, int area, QString address)
    {
        return requests.writeAt(PlcPlace{area, dbNumber, byteAddress, bitNumber, address}, type, count, value);
    }

    Transport transport;

protected:
    // `rules` must outlive the facade. vIsDataBlock1: getmodule_number's rule for a plain V
    // address (the PPI rule; the S7 driver's answer is 0).
    DriverFacade(const DriverIdentity::Texts &texts, const RequestCheck::Rules &rules, bool vIsDataBlock1)
        : texts(texts), vIsDataBlock1(vIsDataBlock1), requests(transport, rules, texts.driveName)
    {
        registerLabelVariableTypes();
    }
    ~DriverFacade() = default;

    // A facade's own calls that use the link run through these: refused (with `refused` and a
    // warning) while another call of this object is in flight.
    template<typename F>
    int exclusive(const QString &call, int refused, F f) { return requests.exclusive(call, refused, f); }

    // Takes the charset= field out of a connection text and makes its code page (or the default)
    // that of text tags; false, with a warning line naming it, for a name no codec knows.
    bool takeCodePage(QString *connectionText)
    {
        const CodePageField::Taken field = CodePageField::take(*connectionText);
        if (field.refused) {
            qWarning().noquote() << QStringLiteral("lib[%1]连接参数无效 charset=%2").arg(getDriveName(), field.name);
            return false;
        }
        requests.setCodePage(field.codePage);
        *connectionText = field.rest;
        return true;
    }

private:
    const DriverIdentity::Texts texts;
    const bool vIsDataBlock1;
    RequestPipeline requests;
};

#endif // DRIVERFACADE_H

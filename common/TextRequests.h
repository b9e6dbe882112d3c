// The road of a read or write of DataType String at a text or time form (TextAddress.h): the
// checks, the header read where the text gives no declared length, the jobs and the codec.
// Addresses of the older notation are not its business: the pipeline takes them as before.
//
// Nothing is written before every element has been encoded and judged; a STRING write carries
// its length byte and characters only, so the PLC's max byte stays as the project set it.
#ifndef TEXTREQUESTS_H
#define TEXTREQUESTS_H

#include <QString>

#include "CLabelVariable.h"
#include "JobPort.h"
#include "LocalClock.h"
#include "ParseCache.h"
#include "RequestCheck.h"
#include "TextAddress.h"

class QTextCodec;

class TextRequests
{
public:
    // `port`, `rules` and `stamps` must outlive this object.
    TextRequests(JobPort &port, const RequestCheck::Rules &rules, LocalClock &stamps);

    // False when `address` is no text or time form (nothing done); otherwise *result holds the
    // outcome and the value (a read: a QList<QString>). `gone` turns true when a host slot inside
    // a job's wait deleted the driver: then nothing of this object or the port is touched again,
    // and the call ends as one whose link is down.
    bool read(const QString &address, int count, CLabelVariable *result, const bool &gone);
    bool write(const QString &address, int count, const CLabelVariable &value, CLabelVariable *result,
               const bool &gone);

    // The code page of STRING, CHAR and S7-200 strings; never null.
    void setCodePage(const QTextCodec *codePage);
    static const QTextCodec *defaultCodePage();

private:
    // The declared length, from the text or else from the element's header; a result code.
    int declaredLength(const TextAddress::Address &a, int count, int *n, const bool &gone);
    int checkSpan(const TextAddress::Address &a, int n, int count, qint64 addressEnd, qint64 maxBytes) const;
    int readBytes(const TextAddress::Address &a, qint64 offset, int length, QByteArray *out, const bool &gone);
    int writeBytes(const TextAddress::Address &a, qint64 offset, const QByteArray &bytes, const bool &gone);
    TextAddress::Address parsed(const QString &address);

    JobPort &port;
    const RequestCheck::Rules &rules;
    LocalClock &stamps;
    const QTextCodec *codePage;
    ParseCache<TextAddress::Address> addresses;
};

#endif // TEXTREQUESTS_H

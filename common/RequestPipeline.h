// The road of every read and write of both drivers, from the host's address text to the jobs of
// a transport and back to the result: the checks with the driver's Rules, the byte length, the
// split into jobs that fit the transport's capacity, the codec, the result code and the time
// stamp. What the two drivers do differently is in their Rules and their JobPort, nothing else.
//
// One pipeline per facade, used on its thread: its parse cache and clock are its own.
//
// One call at a time: a transport whose waits run the thread's events lets host slots run inside
// a call. A call of the same driver from such a slot is refused with 9 (nothing sent) and a
// warning, and the call in flight goes on unharmed. When such a slot deletes the driver, the call
// in flight ends with 9 without touching the deleted object.
#ifndef REQUESTPIPELINE_H
#define REQUESTPIPELINE_H

#include <QByteArray>
#include <QString>

#include "AddressGrammar.h"
#include "CLabelVariable.h"
#include "JobPort.h"
#include "LocalClock.h"
#include "ParseCache.h"
#include "PlcPlace.h"
#include "RequestCheck.h"
#include "TextRequests.h"

class RequestPipeline
{
public:
    // `port` and `rules` must outlive the pipeline; `driveName` names the driver in its warnings.
    RequestPipeline(JobPort &port, const RequestCheck::Rules &rules, const char *driveName);
    ~RequestPipeline();
    RequestPipeline(const RequestPipeline &) = delete;
    RequestPipeline &operator=(const RequestPipeline &) = delete;

    // ReadVariable: a refused request carries the time of the call; the result names the call's
    // address, count and type whatever happened.
    CLabelVariable read(const QString &address, int type, int count);
    // WriteVariable: the result is the host's value with the outcome; a refused one keeps the
    // value's own time stamp. A write into the inputs ends with code 6, after it was sent.
    CLabelVariable write(const QString &address, int type, const CLabelVariable &value, int count);

    // Read_data: `count` elements at a place that passed the checks. The time stamp is the
    // completion time, and stays null when the exchange failed.
    CLabelVariable readAt(const PlcPlace &place, int type, int count);
    // Write_data: the host's value with the outcome. A value that holds fewer elements than the
    // write carries is refused (7) with nothing sent; a type outside 1..11 sends a write of 0
    // elements and ends with 2.
    CLabelVariable writeAt(const PlcPlace &place, int type, int count, const CLabelVariable &value);

    // For the facade's other calls that use the link (a connect): true, with the warning, while
    // a call is in flight; such a call is refused.
    bool refuseWhileInFlight(const QString &call) const;
    // Runs `f()` as a call in flight; `f` must not touch the pipeline's facade after its link
    // work when the driver may have been deleted meanwhile (its result is only passed back).
    template<typename F>
    int exclusive(const QString &call, int refused, F f)
    {
        if (refuseWhileInFlight(call))
            return refused;
        InFlight flight(*this);
        return f();
    }

    // The code page of text tags (null: the default).
    void setCodePage(const QTextCodec *codePage) { texts.setCodePage(codePage); }

private:
    // The call in flight, on its caller's stack: it learns there when the pipeline is destroyed
    // under it.
    struct InFlight {
        explicit InFlight(RequestPipeline &p) : pipeline(p) { pipeline.inFlight = this; }
        ~InFlight()
        {
            if (!gone)
                pipeline.inFlight = nullptr;
        }
        InFlight(const InFlight &) = delete;
        InFlight &operator=(const InFlight &) = delete;
        RequestPipeline &pipeline;
        bool gone = false;
    };

    CLabelVariable readPlace(const PlcPlace &place, int type, int count, const InFlight &flight);
    CLabelVariable writePlace(const PlcPlace &place, int type, int count, const CLabelVariable &value,
                              const InFlight &flight);

    // A byte read or write as consecutive jobs that fit the port's capacity; the result of the
    // first job that fails, or 0.
    int readInJobs(const PlcPlace &place, int byteLength, QByteArray *out);
    int writeInJobs(const PlcPlace &place, const QByteArray &bytes);
    // Timers and counters: elements instead of bytes, decoded as a person reads them.
    CLabelVariable readElementsAt(const PlcPlace &place, int type, int count, const InFlight &flight);
    CLabelVariable writeElementsAt(const PlcPlace &place, int type, int count, const CLabelVariable &value,
                                   const InFlight &flight);
    // Bytes one job carries at `place`: analog areas take whole words.
    int capacityAt(const PlcPlace &place, int capacity) const;

    JobPort &port;
    const RequestCheck::Rules &rules;
    ParseCache<AddressGrammar::Address> addresses;
    LocalClock stamps;
    const char *const driveName;
    InFlight *inFlight = nullptr;
    TextRequests texts;     // String at the text and time forms
};

#endif // REQUESTPIPELINE_H

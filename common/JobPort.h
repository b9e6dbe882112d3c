// What a transport offers the request pipeline: single jobs at a place, and how many bytes one
// job carries. The pipeline splits larger requests into jobs of that size.
//
// Every job answers 0 (done), -1 (refused, or a wrong answer), -2 (no answer in time) or -3 (the
// link is down: nothing was sent).
#ifndef JOBPORT_H
#define JOBPORT_H

#include <QByteArray>

#include "PlcPlace.h"
#include "TimerCounterCodec.h"

class JobPort
{
public:
    // Data bytes one read or write job carries; below 1 while no link has granted a size.
    virtual int readCapacity() const = 0;
    virtual int writeCapacity() const = 0;
    // Reads `length` bytes from place's byte and appends exactly them to *out.
    virtual int readJob(const PlcPlace &place, int length, QByteArray *out) = 0;
    // Writes exactly `data`: a bit item writes the bit of `place`, byte items start at its byte
    // (place.bitNumber is 0 for them).
    virtual int writeJob(const PlcPlace &place, const QByteArray &data, bool bitItem) = 0;

    // Timers and counters: place.area is AddressGrammar::Timer or Counter (the S7-300/400
    // codes), place.byteAddress the first element's number; the port sends the codes of the
    // family its PLC belongs to. readElements appends 2 bytes per element (the value word);
    // writeElements writes 2 bytes per element, and refuses (-1, nothing sent) a family that
    // takes no writes.
    virtual int readElements(const PlcPlace &place, int count, QByteArray *words) = 0;
    virtual int writeElements(const PlcPlace &place, const QByteArray &words) = 0;
    // The family as far as the connected PLC has shown it.
    virtual ElementFamily elementFamily() const = 0;

protected:
    ~JobPort() = default;
};

// For the write operations that take a count beside the bytes: the job carries exactly `count`
// of them. A caller that gave fewer is refused before anything is sent, never padded with bytes
// it did not give. `write` is called with the job's bytes.
template<typename Write>
int writeCounted(const QByteArray &data, int count, Write write)
{
    if (count < 0 || data.size() < count)
        return -1;
    return write(data.left(count));
}

#endif // JOBPORT_H

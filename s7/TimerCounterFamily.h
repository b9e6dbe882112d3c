// Which codes an S7 PLC takes for timers and counters, learnt from its answers. The S7-300/400
// codes (0x1D, 0x1C) go first; a PLC that refuses them with item code 0x03, as the S7-200 family
// does, is asked once more with the S7-200 codes (0x1F, 0x1E). One family holds for timers and
// counters alike, for one connection: the next one may reach another PLC.
#ifndef TIMERCOUNTERFAMILY_H
#define TIMERCOUNTERFAMILY_H

#include "AddressGrammar.h"
#include "TimerCounterCodec.h"

class TimerCounterFamily
{
public:
    static constexpr int RefusedAs200 = 0x03;

    ElementFamily known() const { return family; }
    void forget() { family = ElementFamily::Unknown; }

    // The area code to send for AddressGrammar::Timer or Counter.
    int codeFor(int area) const
    {
        if (family != ElementFamily::S7_200)
            return area;
        return AddressGrammar::isTimer(area) ? AddressGrammar::Timer200 : AddressGrammar::Counter200;
    }

    // Takes in how the PLC answered a job sent with codeFor's codes: `itemCode` is the item's
    // return code when it refused the job, -1 otherwise. True when the PLC has just shown itself
    // to be of the S7-200 family: the job may be asked again, once, with its codes.
    bool learn(bool answered, int itemCode)
    {
        if (family != ElementFamily::Unknown)
            return false;
        if (answered)
            family = ElementFamily::S7_300;
        else if (itemCode == RefusedAs200)
            family = ElementFamily::S7_200;
        return family == ElementFamily::S7_200;
    }

private:
    ElementFamily family = ElementFamily::Unknown;
};

#endif // TIMERCOUNTERFAMILY_H

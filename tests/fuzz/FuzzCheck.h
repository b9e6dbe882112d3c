// An invariant of a fuzz target. A broken one prints what broke and aborts, which libFuzzer
// records as a finding and the corpus replay as a failed test.
#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

#include <string>

// What the target is checking, printed with a broken invariant (the call, in a host's words).
inline std::string &fuzzContext()
{
    static std::string context;
    return context;
}

#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what,  \
                         #condition);                                                            \
            if (!fuzzContext().empty())                                                          \
                std::fprintf(stderr, "  in: %s\n", fuzzContext().c_str());                       \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

#endif // FUZZCHECK_H

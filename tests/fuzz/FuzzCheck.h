// An invariant of a fuzz target. A broken one prints what broke and aborts, which libFuzzer
// records as a finding and the corpus replay as a failed test.
#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                              \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, what,  \
                         #condition);                                                            \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

#endif // FUZZCHECK_H

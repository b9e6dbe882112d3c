// Carrying one read or write of any size as consecutive jobs that each fit the PDU: adjacent,
// non-overlapping byte ranges in address order that together cover exactly the whole range.
#ifndef JOBSPLIT_H
#define JOBSPLIT_H

#include <QVector>

namespace JobSplit {

struct Piece {
    int offset = 0;     // from the start of the whole range
    int length = 0;
};

// The pieces of `total` bytes for jobs of at most `capacity` bytes. A range that fits one job
// is one piece, a range of 0 bytes too; so is everything when the capacity is unknown (< 1), so
// that the one job meets whatever the link says (the grant is known whenever the link is up).
QVector<Piece> pieces(int total, int capacity);

// True when pieces(total, capacity) is the one piece {0, max(total, 0)}.
inline bool fitsOneJob(int total, int capacity)
{
    return total <= 0 || capacity < 1 || total <= capacity;
}

// Runs job(offset, length) for each piece in order and stops at the first that does not return
// 0; returns that result, or 0 when every job succeeded.
template<typename Job>
int run(int total, int capacity, Job job)
{
    if (fitsOneJob(total, capacity))       // the common case, without building a list
        return job(0, total > 0 ? total : 0);
    for (const Piece &piece : pieces(total, capacity)) {
        const int result = job(piece.offset, piece.length);
        if (result != 0)
            return result;
    }
    return 0;
}

} // namespace JobSplit

#endif // JOBSPLIT_H

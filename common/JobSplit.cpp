#include "JobSplit.h"

namespace JobSplit {

QVector<Piece> pieces(int total, int capacity)
{
    QVector<Piece> out;
    if (fitsOneJob(total, capacity)) {
        out.append({0, total > 0 ? total : 0});
        return out;
    }
    out.reserve(total / capacity + 1);
    // Counting down what is left never wraps, whatever the sizes.
    for (int offset = 0, left = total; left > 0;) {
        const int length = left < capacity ? left : capacity;
        out.append({offset, length});
        offset += length;
        left -= length;
    }
    return out;
}

} // namespace JobSplit

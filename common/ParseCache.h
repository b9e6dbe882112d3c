// Remembers what a pure parse function gave for a text: a host polls the same address texts
// over and over, and each is then parsed once, not once per call.
//
// Bounded in memory: at most Capacity texts of at most MaxTextLength characters are kept (no
// address of the notation comes near that length); a longer text is parsed every time, and a
// full cache starts afresh. A kept text is a copy of its own, so nothing the host owns is
// referred to after the call. One cache per facade: it is not shared between threads.
#ifndef PARSECACHE_H
#define PARSECACHE_H

#include <QHash>
#include <QString>

template<typename Value>
class ParseCache
{
public:
    static constexpr int Capacity = 2048;
    static constexpr int MaxTextLength = 64;

    template<typename Parse>
    Value get(const QString &text, Parse &&parse)
    {
        if (text.size() > MaxTextLength)
            return parse(text);
        const auto kept = entries.constFind(text);
        if (kept != entries.constEnd())
            return kept.value();
        if (entries.size() >= Capacity)
            entries.clear();
        const Value value = parse(text);
        // A deep copy: the host's text may live in a buffer it reuses (QString::fromRawData).
        entries.insert(QString(text.constData(), text.size()), value);
        return value;
    }

    int size() const { return entries.size(); }

private:
    QHash<QString, Value> entries;
};

#endif // PARSECACHE_H

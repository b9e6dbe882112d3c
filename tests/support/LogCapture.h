// Collects the Qt log lines written while it lives, so a test can tell which lines a path wrote.
#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture()
    {
        clear();
        previous = qInstallMessageHandler(&LogCapture::collect);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }

    // Every line, whatever its type.
    QStringList all() const
    {
        QMutexLocker lock(&mutex());
        QStringList out;
        for (const auto &line : store())
            out << line.second;
        return out;
    }
    QStringList lines(QtMsgType type) const
    {
        QMutexLocker lock(&mutex());
        QStringList out;
        for (const auto &line : store())
            if (line.first == type)
                out << line.second;
        return out;
    }
    static void clear()
    {
        QMutexLocker lock(&mutex());
        store().clear();
    }

private:
    static QList<QPair<QtMsgType, QString>> &store()
    {
        static QList<QPair<QtMsgType, QString>> lines;
        return lines;
    }
    // Drivers may log on any thread.
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        store().append({type, message});
    }

    QtMessageHandler previous;
};

#endif // LOGCAPTURE_H

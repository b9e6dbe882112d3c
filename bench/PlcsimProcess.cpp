#include "PlcsimProcess.h"

#include <QRegularExpression>

PlcsimProcess::PlcsimProcess(const QString &program)
    : program(program)
{
}

PlcsimProcess::~PlcsimProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

bool PlcsimProcess::start()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QStringLiteral("--s7-port"), QStringLiteral("0"), QStringLiteral("--ppi-port"),
                            QStringLiteral("0"), QStringLiteral("--station"), QStringLiteral("2")});
    if (!process.waitForStarted(5000)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    static const QRegularExpression s7Line(QStringLiteral("S7 listening on [0-9.]+:(\\d+)"));
    static const QRegularExpression ppiLine(QStringLiteral("PPI station \\d+ listening on [0-9.]+:(\\d+)"));
    while (s7Port == 0 || ppiPort == 0) {
        if (!process.canReadLine() && !process.waitForReadyRead(5000)) {
            error = QStringLiteral("%1 did not say where it listens").arg(program);
            return false;
        }
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine());
            const QRegularExpressionMatch s7 = s7Line.match(line);
            const QRegularExpressionMatch ppi = ppiLine.match(line);
            if (s7.hasMatch())
                s7Port = quint16(s7.captured(1).toUInt());
            if (ppi.hasMatch())
                ppiPort = quint16(ppi.captured(1).toUInt());
        }
    }
    return true;
}

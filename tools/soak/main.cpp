// soak: loads a driver plug-in file as a host does and runs random reads and writes against a
// PLC simulator that misbehaves at random, checking every value the driver reports as good.
//
//   soak PLUGIN --plcsim PATH --medium s7|ppi-tcp|ppi-pty [--chaos SEED] [--chaos-rate R]
//        [--calls N] [--seed S] [--call-bound MS]
//   soak PLUGIN --connect TEXT [--station N] ...   (a simulator started fresh by the caller)
//
// Prints the count of each result code, the wrong values and the longest call; exits 1 when a
// value was wrong or a call took longer than its bound, 2 on bad usage or a set-up failure.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include "PluginLoader.h"
#include "Soak.h"

namespace {

QTextStream out(stdout);

// The drivers' warnings and traces are theirs to write; a soak of thousands of faults would
// drown its own report in them.
void quietDrivers(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        QTextStream(stderr) << message << "\n";
}

// Starts plcsim with the chaos settings and returns the connection text of its listening place.
QString startSimulator(QProcess *sim, const QString &program, const QString &medium, const QString &ptyPath,
                       const QStringList &chaos)
{
    QStringList args = chaos;
    if (medium == QLatin1String("s7"))
        args << QStringLiteral("--s7-port") << QStringLiteral("0");
    else if (medium == QLatin1String("ppi-tcp"))
        args << QStringLiteral("--ppi-port") << QStringLiteral("0");
    else
        args << QStringLiteral("--ppi-pty") << ptyPath;
    args << QStringLiteral("--station") << QStringLiteral("2");
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start(program, args);
    if (!sim->waitForStarted(5000))
        return QString();
    static const QRegularExpression tcp(QStringLiteral("listening on (127\\.0\\.0\\.1:\\d+)"));
    QElapsedTimer clock;
    clock.start();
    QByteArray seen;
    while (clock.elapsed() < 10000) {
        sim->waitForReadyRead(200);
        seen += sim->readAllStandardOutput();
        if (medium == QLatin1String("ppi-pty") && seen.contains("serial line"))
            return ptyPath + QStringLiteral(",9600,8,1,E");
        const QRegularExpressionMatch m = tcp.match(QString::fromLatin1(seen));
        if (m.hasMatch())
            return m.captured(1);
        if (sim->state() != QProcess::Running)
            break;
    }
    out << seen;
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietDrivers);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Random reads and writes through a driver plug-in, every good value checked."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("plugin"), QStringLiteral("The driver plug-in file."));
    const QCommandLineOption plcsim(QStringLiteral("plcsim"), QStringLiteral("Start this simulator."), QStringLiteral("PATH"));
    const QCommandLineOption medium(QStringLiteral("medium"), QStringLiteral("s7, ppi-tcp or ppi-pty (with --plcsim)."), QStringLiteral("M"), QStringLiteral("s7"));
    const QCommandLineOption chaos(QStringLiteral("chaos"), QStringLiteral("The simulator's chaos seed (with --plcsim)."), QStringLiteral("SEED"), QStringLiteral("1"));
    const QCommandLineOption chaosRate(QStringLiteral("chaos-rate"), QStringLiteral("The simulator's share of faulty answers (with --plcsim)."), QStringLiteral("R"), QStringLiteral("0.05"));
    const QCommandLineOption connectText(QStringLiteral("connect"), QStringLiteral("Connection text of a simulator started fresh by the caller."), QStringLiteral("TEXT"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("PPI station address (default 2)."), QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption calls(QStringLiteral("calls"), QStringLiteral("Reads and writes to make."), QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the random requests."), QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption callBound(QStringLiteral("call-bound"), QStringLiteral("Longest a read or write may take, ms."), QStringLiteral("MS"), QStringLiteral("3000"));
    parser.addOptions({plcsim, medium, chaos, chaosRate, connectText, station, calls, seed, callBound});
    parser.process(app);
    if (parser.positionalArguments().size() != 1 || parser.isSet(plcsim) == parser.isSet(connectText)) {
        out << "soak: give the plug-in file and one of --plcsim or --connect\n";
        return 2;
    }

    Soak::Settings settings;
    settings.calls = parser.value(calls).toInt();
    settings.seed = parser.value(seed).toULongLong();
    settings.callBoundMs = parser.value(callBound).toInt();
    const QString kind = parser.value(medium);
    if (kind != QLatin1String("s7") && kind != QLatin1String("ppi-tcp") && kind != QLatin1String("ppi-pty")) {
        out << "soak: --medium is s7, ppi-tcp or ppi-pty\n";
        return 2;
    }

    QProcess sim;
    QTemporaryDir work;
    if (parser.isSet(plcsim)) {
        settings.connectText = startSimulator(&sim, parser.value(plcsim), kind, work.filePath(QStringLiteral("ttyPLC")),
                                              {QStringLiteral("--chaos"), parser.value(chaos),
                                               QStringLiteral("--chaos-rate"), parser.value(chaosRate)});
        if (settings.connectText.isEmpty()) {
            out << "soak: the simulator did not start\n";
            return 2;
        }
    } else {
        settings.connectText = parser.value(connectText);
    }
    if (kind != QLatin1String("s7") || parser.isSet(station))
        settings.station = parser.value(station);

    PluginLoader loader(parser.positionalArguments().first());
    if (!loader.load()) {
        out << "soak: " << loader.errorString() << "\n";
        return 2;
    }
    CDriveBaseClass *driver = loader.createDriver();
    out << "soak: " << driver->getDriveName() << " at " << settings.connectText << ", " << settings.calls
        << " calls, seed " << settings.seed;
    if (parser.isSet(plcsim))
        out << ", chaos seed " << parser.value(chaos) << " rate " << parser.value(chaosRate);
    out << "\n";
    out.flush();

    Soak soak(driver, settings, out);
    const Soak::Outcome o = soak.run();
    driver->DisConnectDrive();
    driver->DestroyFree();
    PluginLoader::destroyDriver(driver);
    if (sim.state() != QProcess::NotRunning) {
        sim.terminate();
        if (!sim.waitForFinished(5000))
            sim.kill();
        sim.waitForFinished(1000);
    }

    out << "soak: calls " << o.calls << ", results";
    for (auto it = o.results.constBegin(); it != o.results.constEnd(); ++it)
        out << " " << it.key() << ":" << it.value();
    out << "\n";
    out << "soak: wrong values " << o.wrongValues << "\n";
    out << "soak: longest call " << o.longestCallMs << " ms (" << o.longestCall << "), bound "
        << settings.callBoundMs << " ms; longest connect " << o.longestConnectMs << " ms; reconnects "
        << o.reconnects << "\n";
    out.flush();
    return o.wrongValues > 0 || o.overBound ? 1 : 0;
}

// plcsim: a PLC simulator for the drivers' demo and tests. It serves S7 over ISO-on-TCP and a
// PPI station behind a TCP gateway or on a pseudo-terminal, all on one shared PLC memory.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <QSocketNotifier>

#include <csignal>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

#include "ChaosPlan.h"
#include "PlcMemory.h"
#include "PpiStation.h"
#include "S7Server.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop normally, so the servers' destructors run (the station
// removes the link it made at --ppi-pty).
void quitOnTerminate(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    std::signal(SIGTERM, onTerminate);
    std::signal(SIGINT, onTerminate);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("plcsim"));
    std::signal(SIGPIPE, SIG_IGN);
    quitOnTerminate(&app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated S7 PLC and PPI station on loopback."));
    parser.addHelpOption();
    const QCommandLineOption s7Port(QStringLiteral("s7-port"), QStringLiteral("Serve S7 over ISO-on-TCP on PORT (0: any free port)."), QStringLiteral("PORT"));
    const QCommandLineOption ppiPort(QStringLiteral("ppi-port"), QStringLiteral("Serve the PPI station behind a TCP gateway on PORT (0: any free port)."), QStringLiteral("PORT"));
    const QCommandLineOption ppiPty(QStringLiteral("ppi-pty"), QStringLiteral("Serve the PPI station on a pseudo-terminal linked at PATH."), QStringLiteral("PATH"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("PPI station address (default 2)."), QStringLiteral("N"), QStringLiteral("2"));
    const QCommandLineOption chaosSeed(QStringLiteral("chaos"), QStringLiteral("Misbehave at random: faults drawn per answer from SEED (reproducible)."), QStringLiteral("SEED"));
    const QCommandLineOption chaosRate(QStringLiteral("chaos-rate"), QStringLiteral("Share of answers that get a fault under --chaos, 0 to 1 (default 0.05)."), QStringLiteral("R"), QStringLiteral("0.05"));
    const QCommandLineOption ppiTraffic(QStringLiteral("ppi-traffic"), QStringLiteral("Put a shared line's other traffic around every PPI reply: token, status, exchange, sd3 (comma-separated) or all."), QStringLiteral("KINDS"));
    const QCommandLineOption ppiShared(QStringLiteral("ppi-shared-gateway"), QStringLiteral("The PPI gateway's clients share one line, as behind a multi-client gateway: replies reach all, one exchange per master address."));
    const QCommandLineOption ppiEcho(QStringLiteral("ppi-echo"), QStringLiteral("Echo every byte the PPI master sends, as a 2-wire RS-485 adapter does."));
    const QCommandLineOption pdu(QStringLiteral("pdu"), QStringLiteral("S7 PDU length the set-up grants at most, 29 to 960 (default 960); larger jobs get an error answer."), QStringLiteral("N"), QString::number(S7Server::DefaultPduSize));
    const QCommandLineOption remoteTsap(QStringLiteral("remote-tsap"), QStringLiteral("Accept only S7 connection requests for this remote TSAP (four hex digits); close others."), QStringLiteral("HHHH"));
    const QCommandLineOption tpdu(QStringLiteral("tpdu"), QStringLiteral("Confirm this TPDU size (128 to 8192, a power of two) and send answers in units of it."), QStringLiteral("N"));
    const QCommandLineOption fastAck(QStringLiteral("fast-ack"), QStringLiteral("Send an empty COTP data unit ahead of every S7 answer."));
    const QCommandLineOption noPutGet(QStringLiteral("no-put-get"), QStringLiteral("Refuse S7 reads and writes as a PLC with PUT/GET access off (0x81/0x04, 0x83/0x04)."));
    const QCommandLineOption dataBlocks(QStringLiteral("data-blocks"), QStringLiteral("S7: only these data blocks exist (comma-separated numbers); others get item 0x0A."), QStringLiteral("LIST"));
    const QCommandLineOption family(QStringLiteral("family"), QStringLiteral("S7: 300 (S7-300/400, default) or 200 (S7-200 SMART: timer and counter codes 0x1F/0x1E, no periphery)."), QStringLiteral("N"), QStringLiteral("300"));
    const QCommandLineOption timerRecords(QStringLiteral("timer-records"), QStringLiteral("Bytes per S7-200 timer and counter record, 3 or 5 (default 5)."), QStringLiteral("N"), QStringLiteral("5"));
    parser.addOptions({s7Port, ppiPort, ppiPty, station, pdu, chaosSeed, chaosRate, ppiTraffic, ppiEcho, ppiShared,
                       remoteTsap, tpdu, fastAck, noPutGet, dataBlocks, family, timerRecords});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.isSet(s7Port) && !parser.isSet(ppiPort) && !parser.isSet(ppiPty)) {
        err << "plcsim: give --s7-port, --ppi-port or --ppi-pty\n";
        return 2;
    }

    quint64 seed = 0;
    double rate = ChaosPlan::DefaultRate;
    const QString familyName = parser.value(family);
    if (familyName != QLatin1String("300") && familyName != QLatin1String("200")) {
        err << "plcsim: --family takes 300 or 200, not " << familyName << "\n";
        return 2;
    }
    const QString recordText = parser.value(timerRecords);
    if (recordText != QLatin1String("3") && recordText != QLatin1String("5")) {
        err << "plcsim: --timer-records takes 3 or 5, not " << recordText << "\n";
        return 2;
    }
    const int recordBytes = recordText.toInt();
    const bool chaos = parser.isSet(chaosSeed);
    if (chaos && !ChaosPlan::parseSeed(parser.value(chaosSeed), &seed)) {
        err << "plcsim: --chaos needs a decimal number, not " << parser.value(chaosSeed) << "\n";
        return 2;
    }
    if (!ChaosPlan::parseRate(parser.value(chaosRate), &rate)) {
        err << "plcsim: --chaos-rate needs a number from 0 to 1, not " << parser.value(chaosRate) << "\n";
        return 2;
    }
    int traffic = 0;
    if (parser.isSet(ppiTraffic) && !PpiStation::parseTraffic(parser.value(ppiTraffic), &traffic)) {
        err << "plcsim: --ppi-traffic takes token, status, exchange, sd3 or all, not " << parser.value(ppiTraffic) << "\n";
        return 2;
    }
    bool pduOk = false;
    const int pduSize = parser.value(pdu).toInt(&pduOk);
    if (!pduOk || pduSize < 29 || pduSize > S7Server::DefaultPduSize) {
        err << "plcsim: --pdu takes a number from 29 to " << S7Server::DefaultPduSize << "\n";
        return 2;
    }

    bool tsapOk = true;
    const int acceptedTsap = parser.isSet(remoteTsap) ? parser.value(remoteTsap).toInt(&tsapOk, 16) : -1;
    if (!tsapOk || (parser.isSet(remoteTsap) && (parser.value(remoteTsap).size() != 4 || acceptedTsap < 0))) {
        err << "plcsim: --remote-tsap takes four hex digits\n";
        return 2;
    }
    bool tpduOk = true;
    const int tpduSize = parser.isSet(tpdu) ? parser.value(tpdu).toInt(&tpduOk) : 0;
    if (!tpduOk || (parser.isSet(tpdu) && (tpduSize < 128 || tpduSize > 8192 || (tpduSize & (tpduSize - 1)) != 0))) {
        err << "plcsim: --tpdu takes 128, 256, 512, 1024, 2048, 4096 or 8192\n";
        return 2;
    }
    std::vector<int> blocks;
    if (parser.isSet(dataBlocks)) {
        for (const QString &field : parser.value(dataBlocks).split(QLatin1Char(','))) {
            bool blockOk = false;
            const int block = field.toInt(&blockOk);
            if (!blockOk || block < 1 || block > 65535) {
                err << "plcsim: --data-blocks takes numbers from 1 to 65535, not " << field << "\n";
                return 2;
            }
            blocks.push_back(block);
        }
    }

    PlcMemory memory;
    bool ok = true;
    if (parser.isSet(s7Port)) {
        auto *server = new S7Server(&memory, &app);
        if (chaos)
            server->setChaos(ChaosPlan(seed, rate, 0));
        server->setPduSize(pduSize);
        server->setRemoteTsap(acceptedTsap);
        server->setTpduSize(tpduSize);
        server->setFastAcknowledge(parser.isSet(fastAck));
        server->setPutGetRefused(parser.isSet(noPutGet));
        server->setDataBlocks(blocks);
        server->setFamily(familyName == QLatin1String("200"), recordBytes);
        if (server->listen(quint16(parser.value(s7Port).toUInt()))) {
            out << "plcsim: S7 listening on 127.0.0.1:" << server->serverPort() << "\n";
        } else {
            err << "plcsim: cannot listen for S7 on port " << parser.value(s7Port) << "\n";
            ok = false;
        }
    }
    if (parser.isSet(ppiPort) || parser.isSet(ppiPty)) {
        auto *ppi = new PpiStation(&memory, parser.value(station).toInt(), &app);
        if (chaos)
            ppi->setChaos(ChaosPlan(seed, rate, 1));
        ppi->setTraffic(traffic);
        ppi->setEcho(parser.isSet(ppiEcho));
        ppi->setTimerRecordBytes(recordBytes);
        ppi->setSharedGateway(parser.isSet(ppiShared));
        if (parser.isSet(ppiPort)) {
            if (ppi->listenTcp(quint16(parser.value(ppiPort).toUInt()))) {
                out << "plcsim: PPI station " << parser.value(station) << " listening on 127.0.0.1:" << ppi->tcpPort() << "\n";
            } else {
                err << "plcsim: cannot listen for PPI on port " << parser.value(ppiPort) << "\n";
                ok = false;
            }
        }
        if (parser.isSet(ppiPty)) {
            if (ppi->openPty(parser.value(ppiPty))) {
                out << "plcsim: PPI station " << parser.value(station) << " on serial line " << parser.value(ppiPty) << "\n";
            } else {
                err << "plcsim: cannot open a pseudo-terminal at " << parser.value(ppiPty) << "\n";
                ok = false;
            }
        }
    }
    if (chaos)
        out << "plcsim: chaos seed " << seed << ", rate " << rate << "\n";
    out.flush();
    if (!ok)
        return 1;
    return app.exec();
}

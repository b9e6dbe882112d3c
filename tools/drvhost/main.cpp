// drvhost: a small host runtime and a commissioning tool. It loads a driver plug-in file, prints
// what the driver says of itself, and, given a connection text, connects and runs the reads and
// writes named on its command line, once or --repeat N times with a summary at the end.
// drvhost --help tells the options.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "CDriveBaseClass.h"
#include "CallRun.h"
#include "CallSummary.h"
#include "CommandLine.h"
#include "PluginLoader.h"

namespace {

enum ExitStatus { AllSucceeded = 0, CallFailed = 1, BadCommandLine = 2, PluginNotLoaded = 3, Interrupted = 130 };

std::atomic<bool> interrupted{false};

void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    CommandLine cmd;
    QString error;
    if (!parseCommandLine(app.arguments().mid(1), &cmd, &error)) {
        err << "drvhost: " << error << "\n";
        return BadCommandLine;
    }
    if (cmd.help) {
        out << helpText();
        return AllSucceeded;
    }

    registerLabelVariableTypes();
    PluginLoader loader(cmd.plugin);
    if (!loader.load()) {
        err << "drvhost: " << loader.errorString() << "\n";
        return PluginNotLoaded;
    }
    CDriveBaseClass *drv = loader.createDriver();
    out << "plug-in  " << cmd.plugin << "\n"
        << "drive    " << drv->getDriveName() << " | " << drv->getversion_number() << " | "
        << drv->DebugCmd(GetVersion) << "\n";
    out.flush();
    if (cmd.debug)
        drv->DebugCmd(StartDebug);

    int status = AllSucceeded;
    if (!cmd.station.isEmpty())
        out << "station  " << drv->SetConnectPar(cmd.station) << "\n";
    if (!cmd.connectText.isEmpty()) {
        const int rc = drv->ConnectDrive(cmd.connectText);
        out << "connect  " << cmd.connectText << " -> " << rc << (rc == 0 ? " ready" : " failed") << "\n";
        out.flush();
        if (rc != 0)
            status = CallFailed;
    }

    if (status == AllSucceeded && !cmd.operations.isEmpty()) {
        // Ctrl-C ends a long --repeat between two calls and still prints the summary.
        std::signal(SIGINT, onInterrupt);
        RunSettings settings;
        settings.rounds = cmd.repeat > 0 ? cmd.repeat : 1;
        settings.intervalMs = cmd.intervalMs;
        settings.progress = cmd.repeat > 1 && ::isatty(::fileno(stdout));
        CallRun run(drv, cmd.operations, out);
        QElapsedTimer clock;
        clock.start();
        const int done = run.run(settings, &interrupted);
        if (cmd.repeat > 0) {
            RunTotals totals;
            totals.roundsAsked = settings.rounds;
            totals.roundsDone = done;
            totals.intervalMs = settings.intervalMs;
            totals.elapsedMs = clock.elapsed();
            out << summaryText(run.stats(), totals);
        }
        if (interrupted.load())
            status = Interrupted;
        else if (run.failedCalls() > 0)
            status = CallFailed;
        std::signal(SIGINT, SIG_DFL);
    }

    if (!cmd.connectText.isEmpty())
        out << "disconnect -> " << drv->DisConnectDrive() << "\n";
    out << "release    -> " << drv->DestroyFree() << "\n";
    out.flush();
    PluginLoader::destroyDriver(drv);
    return status;
}

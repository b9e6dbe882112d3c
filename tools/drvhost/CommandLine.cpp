#include "CommandLine.h"

#include <limits>

#include "CDriveBaseClass.h"
#include "ValueText.h"

namespace {

const QString seeHelp = QStringLiteral(" (drvhost --help shows how to call it)");

// A whole number in [min, max]; false for anything else, including numbers too large for int.
bool parseBounded(const QString &text, int min, int max, int *out)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < min || n > max)
        return false;
    *out = n;
    return true;
}

bool parseType(const QString &text, int *type, QString *error)
{
    *type = ValueText::typeFromName(text);
    if (*type >= 1 && *type <= 12)
        return true;
    *error = QStringLiteral("unknown type '%1' (one of %2, or 1 to 12)")
                 .arg(text, ValueText::typeNames().join(QLatin1Char(' ')));
    return false;
}

} // namespace

QString Operation::label() const
{
    return QStringLiteral("%1 %2 %3 x%4")
        .arg(kind == Read ? QStringLiteral("read") : QStringLiteral("write"), address,
             ValueText::typeName(type))
        .arg(count);
}

bool parseCommandLine(const QStringList &args, CommandLine *out, QString *error)
{
    *out = CommandLine();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out->help = true;
        return true;
    }

    for (int i = 0; i < args.size(); ++i) {
        const QString &word = args.at(i);
        const bool hasNext = i + 1 < args.size();

        if (word.startsWith(QLatin1Char('-'))) {
            if (word == QLatin1String("--debug")) {
                out->debug = true;
                continue;
            }
            const bool takesValue = word == QLatin1String("--connect") || word == QLatin1String("--station")
                                    || word == QLatin1String("--repeat") || word == QLatin1String("--interval");
            if (!takesValue) {
                *error = QStringLiteral("unknown option '%1'").arg(word) + seeHelp;
                return false;
            }
            if (!hasNext) {
                *error = QStringLiteral("%1 wants a value").arg(word) + seeHelp;
                return false;
            }
            const QString value = args.at(++i);
            if (word == QLatin1String("--connect")) {
                out->connectText = value;
            } else if (word == QLatin1String("--station")) {
                out->station = value;
            } else if (word == QLatin1String("--repeat")) {
                if (!parseBounded(value, 1, CommandLine::MaxRepeat, &out->repeat)) {
                    *error = QStringLiteral("--repeat wants a whole number from 1 to %1, not '%2'")
                                 .arg(CommandLine::MaxRepeat).arg(value);
                    return false;
                }
            } else if (!parseBounded(value, 0, CommandLine::MaxIntervalMs, &out->intervalMs)) {
                *error = QStringLiteral("--interval wants milliseconds from 0 to %1, not '%2'")
                             .arg(CommandLine::MaxIntervalMs).arg(value);
                return false;
            }
            continue;
        }

        if (out->plugin.isEmpty()) {
            out->plugin = word;
            continue;
        }

        Operation op;
        if (word == QLatin1String("read")) {
            if (i + 2 >= args.size()) {
                *error = QStringLiteral("read wants ADDRESS TYPE [COUNT]");
                return false;
            }
            op.kind = Operation::Read;
            op.address = args.at(++i);
            if (!parseType(args.at(++i), &op.type, error))
                return false;
            // An optional count: the next word when it starts with a digit.
            if (i + 1 < args.size() && !args.at(i + 1).isEmpty() && args.at(i + 1).at(0).isDigit()) {
                const QString countText = args.at(++i);
                if (!parseBounded(countText, 0, std::numeric_limits<int>::max(), &op.count)) {
                    *error = QStringLiteral("not an element count: '%1'").arg(countText);
                    return false;
                }
            }
        } else if (word == QLatin1String("write")) {
            if (i + 3 >= args.size()) {
                *error = QStringLiteral("write wants ADDRESS TYPE V1,V2,...");
                return false;
            }
            op.kind = Operation::Write;
            op.address = args.at(++i);
            if (!parseType(args.at(++i), &op.type, error))
                return false;
            op.valueText = args.at(++i);
            QString valueError;
            if (!ValueText::parseValues(op.type, op.valueText, &op.value, &valueError)) {
                *error = QStringLiteral("write %1 %2: %3").arg(op.address, ValueText::typeName(op.type), valueError);
                return false;
            }
            op.count = op.valueText.split(QLatin1Char(op.type == String ? '|' : ',')).size();
        } else {
            *error = QStringLiteral("unknown operation '%1' (read or write)").arg(word) + seeHelp;
            return false;
        }
        out->operations.append(op);
    }

    if (out->plugin.isEmpty()) {
        *error = QStringLiteral("no plug-in file given") + seeHelp;
        return false;
    }
    return true;
}

QString helpText()
{
    return QStringLiteral(
        "usage: drvhost PLUGIN [OPTIONS] [read ADDRESS TYPE [COUNT]] [write ADDRESS TYPE V1,V2,...] ...\n"
        "\n"
        "Loads a driver plug-in the way a host runtime does, connects, and runs the reads and writes\n"
        "in the order given, printing each value and result code.\n"
        "\n"
        "Options:\n"
        "  --connect TEXT   connection text: IP:PORT (S7, PPI gateway) or PORT,BAUD,DATABITS,STOPBITS,PARITY\n"
        "                   (PPI serial line), and ,charset=NAME for STRING texts (default gbk)\n"
        "                                                 --connect 192.0.2.10:102,charset=windows-1252\n"
        "  --station N      PPI station address, given to SetConnectPar before connecting\n"
        "                                                 --station 2\n"
        "  --repeat N       run all reads and writes N times (1 to %1), then print per operation the\n"
        "                   calls, each result code with its count and the min/median/max call time\n"
        "                                                 --repeat 1000\n"
        "  --interval MS    pause between two rounds of --repeat, in milliseconds (0 to %2)\n"
        "                                                 --interval 100\n"
        "  --debug          switch the driver's request and response trace on\n"
        "  -h, --help       this text\n"
        "\n"
        "ADDRESS: I0.3 Q1 M10 V100 DB5.DBW20 V_or_DB5.20, SMB28 SM0.5, AIW0 AQW2, T37 C5,\n"
        "PIW256 (read only) PQW256 (write only); letters in any case. With String: DB5.STRING20[30]\n"
        "DB5.WSTRING20[30] DB5.CHAR20[10] DB5.WCHAR20[10] VSTRING100[20] DB5.DT20 DB5.DTL20\n"
        "DB5.DATE20 DB5.TOD20 DB5.TIME20 DB5.S5TIME20.\n"
        "TYPE: %3 (or 1 to 12). COUNT: elements to read (default 1).\n"
        "Values of a write are separated by commas (String: texts by |); their number is the\n"
        "element count.\n"
        "\n"
        "Examples:\n"
        "  drvhost /usr/lib/aarch64-linux-gnu/plc-drivers/libKorvane.so.1 --connect 192.0.2.10:102 \\\n"
        "          read DB5.DBW20 Int16 2 write M10.3 Bool 1\n"
        "  drvhost libPellimor.so.1 --station 2 --connect /dev/ttyUSB0,9600,8,1,E \\\n"
        "          --repeat 1000 --interval 100 read V100 Float read I0.0 Bool 8\n"
        "\n"
        "Exit status: 0 every call succeeded (result code 0), 1 a call failed or the connection\n"
        "was not made, 2 a mistake on the command line, 3 the plug-in could not be loaded,\n"
        "130 interrupted (Ctrl-C; the summary of the rounds so far is printed).\n")
        .arg(CommandLine::MaxRepeat)
        .arg(CommandLine::MaxIntervalMs)
        .arg(ValueText::typeNames().join(QLatin1Char(' ')));
}

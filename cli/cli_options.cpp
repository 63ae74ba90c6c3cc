#include "cli_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <map>

namespace vq::cli {
namespace {

struct CommandEntry {
    Command command;
    int minArgs;
    int maxArgs;
    const char* synopsis;
};

const std::map<QString, CommandEntry>& Commands() {
    static const std::map<QString, CommandEntry> commands = {
        {"program", {Command::Program, 0, 0, "program"}},
        {"sequence", {Command::Sequence, 1, 1, "sequence MODE"}},
        {"identify", {Command::Identify, 0, 0, "identify"}},
        {"connect", {Command::Connect, 0, 1, "connect [MODE]"}},
        {"erase", {Command::Erase, 0, 1, "erase [MODE]"}},
        {"write", {Command::Write, 0, 1, "write [MODE]"}},
        {"disconnect", {Command::Disconnect, 0, 1, "disconnect [MODE]"}},
        {"pin-test", {Command::PinTest, 2, 2, "pin-test PIN ACTION"}},
        {"checksum", {Command::Checksum, 2, 2, "checksum START STOP"}},
        {"info", {Command::Info, 0, 0, "info"}},
        {"ports", {Command::Ports, 0, 0, "ports"}},
    };
    return commands;
}

const char* kDescription =
    "Programs the flash memory of a VQ-K38 radio over a serial port.\n\n"
    "Commands:\n"
    "  program              identify the radio, then connect, erase, write and end (Start)\n"
    "  sequence MODE        connect, erase, write and end in MODE 0, 1 or 2\n"
    "  identify             check the radio's model and region\n"
    "  connect [MODE]       one step of the service panel; MODE 0, 1 or 2 (default 2)\n"
    "  erase [MODE]\n"
    "  write [MODE]\n"
    "  disconnect [MODE]\n"
    "  pin-test PIN ACTION  drive or read a pin: low-out, high-out, input or read\n"
    "  checksum START STOP  sum of the image bytes between two hex addresses\n"
    "  info                 used rows and blocks of the image, checksum of C0000..FFFFF\n"
    "  ports                the serial ports present\n\n"
    "Exit status: 0 success, 1 other failure, 2 usage error, 3 image file refused,\n"
    "4 region error, 5 identification failed, 6 connect failed, 7 erase failed,\n"
    "8 write failed, 9 disconnect failed.";

std::optional<int> ParseMode(const QString& text) {
    if (text == "0" || text == "1" || text == "2") return text.toInt();
    return std::nullopt;
}

std::optional<int> ParseAction(const QString& text) {
    static const QStringList actions = {"low-out", "high-out", "input", "read"};
    const auto index = actions.indexOf(text);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

std::optional<int> ParseBaud(const QString& text) {
    static const QStringList bauds = {"9600", "38400", "57600"};
    const auto index = bauds.indexOf(text);
    return index < 0 ? std::nullopt : std::optional<int>(static_cast<int>(index));
}

ParseResult Usage(const QString& problem) {
    return {std::nullopt, problem, {}};
}

}  // namespace

bool NeedsPort(Command command) {
    return command != Command::Checksum && command != Command::Info && command != Command::Ports;
}

std::optional<int> ComNumber(const QString& port) {
    static const QRegularExpression com("^COM([1-9]|1[0-6])$",
                                        QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(port);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

ParseResult ParseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addPositionalArgument("command", "What to do; see Commands above.", "COMMAND [ARGS]");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption port(
        "port", "COM1..COM16 or a device path such as /dev/ttyUSB0; repeat for several radios.",
        "PORT");
    const QCommandLineOption baud("baud", "Line speed: 9600, 38400 or 57600 (default).", "BAUD",
                                  "57600");
    const QCommandLineOption image(
        "image", "S-record or Intel HEX file (by name) instead of the carried image.", "FILE");
    const QCommandLineOption fullRange("full-range", "Erase and write 0xFF000..0xFFFFF too.");
    const QCommandLineOption quiet("quiet", "No progress on standard error.");
    const QCommandLineOption verbose("verbose", "Say why each failed attempt failed.");
    parser.addOptions({help, version, port, baud, image, fullRange, quiet, verbose});

    if (!parser.parse(arguments)) return Usage(parser.errorText());
    if (parser.isSet(help)) return {std::nullopt, {}, parser.helpText()};
    if (parser.isSet(version)) {
        return {std::nullopt,
                {},
                QCoreApplication::applicationName() + " " + QCoreApplication::applicationVersion() +
                    "\n"};
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return Usage("no command given");
    const auto found = Commands().find(positional.first());
    if (found == Commands().end()) return Usage("unknown command \"" + positional.first() + "\"");
    const CommandEntry& entry = found->second;
    const QStringList args = positional.mid(1);
    if (args.size() < entry.minArgs || args.size() > entry.maxArgs) {
        return Usage(QString("usage: ") + entry.synopsis);
    }

    CliOptions options;
    options.command = entry.command;
    const auto baudOption = ParseBaud(parser.value(baud));
    if (!baudOption) return Usage("--baud takes 9600, 38400 or 57600");
    options.baudOption = *baudOption;
    options.ports = parser.values(port);
    options.imageFile = parser.value(image);
    options.fullRange = parser.isSet(fullRange);
    options.quiet = parser.isSet(quiet);
    options.verbose = parser.isSet(verbose);
    if (options.quiet && options.verbose) return Usage("--quiet and --verbose exclude each other");

    switch (entry.command) {
        case Command::Sequence:
        case Command::Connect:
        case Command::Erase:
        case Command::Write:
        case Command::Disconnect:
            if (!args.isEmpty()) {
                const auto mode = ParseMode(args.first());
                if (!mode) return Usage("MODE is 0, 1 or 2");
                options.mode = *mode;
            }
            break;
        case Command::PinTest: {
            options.pin = args[0];
            const auto action = ParseAction(args[1]);
            if (!action) return Usage("ACTION is low-out, high-out, input or read");
            options.portAction = *action;
            break;
        }
        case Command::Checksum:
            options.checksumStart = args[0];
            options.checksumStop = args[1];
            break;
        default:
            break;
    }

    if (NeedsPort(entry.command)) {
        if (options.ports.isEmpty()) return Usage(QString(entry.synopsis) + " needs --port");
        if (options.ports.size() > 1 && entry.command != Command::Program) {
            return Usage("only program takes several --port options");
        }
        for (const auto& p : options.ports) {
            if (p.isEmpty() || (p.startsWith("COM", Qt::CaseInsensitive) && !ComNumber(p))) {
                return Usage("--port takes COM1..COM16 or a device path, not \"" + p + "\"");
            }
        }
        // COM names in any letter case name the same port; two jobs on one port would fight
        // over it.
        QStringList named;
        for (const auto& p : options.ports) {
            const auto com = ComNumber(p);
            named << (com ? QString("COM%1").arg(*com) : p);
        }
        if (named.removeDuplicates() > 0) return Usage("a port is given twice");
    } else if (!options.ports.isEmpty()) {
        return Usage(QString(entry.synopsis) + " takes no --port");
    }
    return {options, {}, {}};
}

}  // namespace vq::cli

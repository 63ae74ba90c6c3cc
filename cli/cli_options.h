#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace vq::cli {

// Exit statuses of the command line, one per way a job can end.
enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailure = 1,
    ExitUsage = 2,
    ExitImageRefused = 3,
    ExitRegionError = 4,
    ExitIdentifyFailed = 5,
    ExitConnectFailed = 6,
    ExitEraseFailed = 7,
    ExitWriteFailed = 8,
    ExitDisconnectFailed = 9,
};

enum class Command {
    Program,
    Sequence,
    Identify,
    Connect,
    Erase,
    Write,
    Disconnect,
    PinTest,
    Checksum,
    Info,
    Ports,
};

struct CliOptions {
    Command command = Command::Program;
    QStringList ports;       // as given: COM1..COM16 or device paths
    int baudOption = 2;      // optBPS index: 9600, 38400, 57600
    QString imageFile;       // empty: the carried image
    bool fullRange = false;  // as "KESTRAL" in txtPinNumber
    bool quiet = false;
    bool verbose = false;
    int mode = 2;           // sequence, connect, erase, write, disconnect
    QString pin;            // pin-test
    int portAction = 3;     // pin-test: port(0..3)
    QString checksumStart;  // checksum
    QString checksumStop;
};

struct ParseResult {
    std::optional<CliOptions> options;
    QString error;  // one line, for a usage error
    QString text;   // --help or --version: the text to print, exit 0
};

// Parses the arguments (argv[0] first). --help and --version are answered here.
ParseResult ParseArguments(const QStringList& arguments);

// Commands that talk to the radio need a port; the others work on the image alone.
bool NeedsPort(Command command);

// The COM number of "COM1".."COM16" (any letter case), or nothing for any other text.
std::optional<int> ComNumber(const QString& port);

}  // namespace vq::cli

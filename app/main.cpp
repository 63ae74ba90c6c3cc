#include <QApplication>
#include <QCommandLineParser>
#include <memory>

#include "file_text_input.h"
#include "frm_main.h"
#include "qt_event_pump.h"
#include "qt_message_box.h"
#include "qt_serial_port.h"
#include "qt_timer.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("vqflash");
    QApplication::setApplicationVersion(QStringLiteral(VQ_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription("Programs the flash memory of the VQ-K38 radio.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portPrefix(
        "port-prefix",
        "Device name prefix of the COM ports: COM n opens PREFIX<n-1>. Default: COMn on "
        "Windows, /dev/ttyS<n-1> elsewhere.",
        "PREFIX");
    parser.addOption(portPrefix);
    parser.process(app);

    vq::PlatformObjects platform;
    platform.serialPort = std::make_unique<vq::QtSerialPort>(parser.value(portPrefix));
    platform.timer = std::make_unique<vq::QtTimer>();
    platform.quietTimer = std::make_unique<vq::QtTimer>();
    platform.pump = std::make_unique<vq::QtEventPump>();
    auto messageBox = std::make_unique<vq::QtMessageBox>();
    vq::QtMessageBox& boxes = *messageBox;
    platform.messageBox = std::move(messageBox);
    platform.fileInput = std::make_unique<vq::FileTextInput>();

    vq::FrmMain window(std::move(platform));
    boxes.setParent(&window);
    window.show();
    return QApplication::exec();
}

#pragma once

#include <memory>

#include "event_pump.h"
#include "message_box.h"
#include "one_shot_timer.h"
#include "serial_port.h"
#include "text_file.h"

namespace vq {

// The outside world the main window works through. The program passes the Qt and file
// system implementations, the tests pass fakes on virtual time.
struct PlatformObjects {
    std::unique_ptr<SerialPort> serialPort;
    std::unique_ptr<OneShotTimer> timer;
    std::unique_ptr<OneShotTimer> quietTimer;
    std::unique_ptr<EventPump> pump;
    std::unique_ptr<MessageBox> messageBox;
    std::unique_ptr<TextFileInput> fileInput;
};

}  // namespace vq

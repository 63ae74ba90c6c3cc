#pragma once

#include "event_pump.h"

namespace vq {

// Pumps the Qt event loop of the calling thread. When nothing is pending it blocks in the
// event dispatcher until a socket notifier (serial data), a timer or an input event wakes
// it, so a wait loop built on it costs no CPU while the radio is silent.
class QtEventPump : public EventPump {
  public:
    void pumpEvents() override;
};

}  // namespace vq

#pragma once

namespace vq {

// Processes the window events that are pending; when none is pending it sleeps until the
// next one arrives (serial data, the timer's tick, input), so a wait loop that pumps on
// every pass never spins a core.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual void pumpEvents() = 0;
};

}  // namespace vq

#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vq {

// Raised by a serial port for any failure of the device: a port that does not exist or is
// busy, a write or read error, a device that went away. Operations on the radio trap it at
// their boundary and turn it into their result code.
class PortFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The serial link to the radio, in the terms the operations use: the port number to open
// next, the line settings string ("57600,n,8,1"), open/close, and raw 8-bit transfer.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // Kept until the next assignment; closing the port does not clear it.
    virtual void setSettings(const std::string& settings) = 0;
    virtual std::string settings() const = 0;

    virtual bool portOpen() const = 0;
    // true opens port CommPort with the current Settings; false closes it.
    virtual void setPortOpen(bool open) = 0;

    // Queues the bytes for sending and returns at once.
    virtual void output(std::span<const std::uint8_t> bytes) = 0;
    // The number of received bytes not yet read.
    virtual int inBufferCount() = 0;
    // Every received byte not yet read, removed from the port's buffer.
    virtual std::vector<std::uint8_t> input() = 0;
};

}  // namespace vq

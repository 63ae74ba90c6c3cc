#pragma once

#include <chrono>
#include <cstdio>
#include <deque>
#include <string>

#include "sim_options.h"
#include "simulated_radio.h"

struct termios;

namespace vq::sim {

// The line settings of a terminal in the tool's notation, "57600,n,8,1".
std::string SettingsOf(const termios& attributes);

// Serves the simulated radio on a pseudo-terminal until SIGTERM or SIGINT. It keeps a
// descriptor of the terminal's own side open, so the line survives the tool closing and
// reopening its port between operations, and the radio keeps its state across them. The
// tool's openings and closings are seen through inotify on the device node.
class PtyServer {
  public:
    explicit PtyServer(SimOptions options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Returns the exit status: 0 after a signal, 1 when the terminal could not be set up.
    int run();

  private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        Bytes bytes;
        std::size_t sent = 0;
    };

    bool setUp();
    void handleWatchEvents();
    void handleInput();
    void sendDue();
    int pollTimeoutMs() const;
    void unplug();
    void dump();
    void log(const std::string& line);
    std::string currentSettings() const;
    int currentBaud() const;

    SimOptions m_options;
    SimulatedRadio m_radio;
    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    int m_signals = -1;
    std::string m_device;
    bool m_watching = false;
    std::string m_loggedSettings;
    std::size_t m_loggedRequests = 0;
    std::deque<Pending> m_output;
    Clock::time_point m_lastDue{};
    Clock::time_point m_lineFreeAt{};
    Clock::time_point m_nextPacedByte{};
    bool m_outputBlocked = false;
    std::FILE* m_log = nullptr;
};

}  // namespace vq::sim

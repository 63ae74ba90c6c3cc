#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace vq::sim {
namespace {

struct SpeedName {
    speed_t code;
    int baud;
};
constexpr std::array<SpeedName, 16> kSpeeds{{
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B921600, 921600},
    {B1000000, 1000000},
}};

int BaudOf(speed_t code) {
    for (const auto& s : kSpeeds) {
        if (s.code == code) return s.baud;
    }
    return 0;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

std::string SettingsOf(const termios& attributes) {
    const int baud = BaudOf(cfgetospeed(&attributes));
    char parity = 'n';
    if (attributes.c_cflag & PARENB) {
        const bool odd = attributes.c_cflag & PARODD;
        if (attributes.c_cflag & CMSPAR) {
            parity = odd ? 'm' : 's';
        } else {
            parity = odd ? 'o' : 'e';
        }
    }
    int dataBits = 8;
    switch (attributes.c_cflag & CSIZE) {
        case CS5:
            dataBits = 5;
            break;
        case CS6:
            dataBits = 6;
            break;
        case CS7:
            dataBits = 7;
            break;
        default:
            dataBits = 8;
            break;
    }
    const char* stopBits = (attributes.c_cflag & CSTOPB) ? "2" : "1";
    return (baud ? std::to_string(baud) : std::string("?")) + "," + parity + "," +
           std::to_string(dataBits) + "," + stopBits;
}

PtyServer::PtyServer(SimOptions options)
    : m_options(std::move(options)), m_radio(m_options.radio) {}

PtyServer::~PtyServer() {
    for (const int fd : {m_master, m_slave, m_watch, m_signals}) {
        if (fd >= 0) ::close(fd);
    }
    if (m_log) std::fclose(m_log);
}

void PtyServer::log(const std::string& line) {
    std::cerr << "vqradio-sim: " << line << std::endl;
    if (m_log) {
        std::fputs((line + "\n").c_str(), m_log);
        std::fflush(m_log);
    }
}

bool PtyServer::setUp() {
    if (!m_options.logPath.empty()) {
        m_log = std::fopen(m_options.logPath.c_str(), "w");
        if (!m_log) {
            std::cerr << "vqradio-sim: cannot write " << m_options.logPath << "\n";
            return false;
        }
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    m_signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    ::signal(SIGPIPE, SIG_IGN);

    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        std::cerr << "vqradio-sim: no pseudo-terminal: " << std::strerror(errno) << "\n";
        return false;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    std::array<char, 128> name{};
    if (ptsname_r(m_master, name.data(), name.size()) != 0) return false;
    m_device = name.data();

    // Held for the whole run: without it the line would hang up whenever the tool closes.
    m_slave = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) return false;
    termios attributes{};
    tcgetattr(m_slave, &attributes);
    cfmakeraw(&attributes);
    attributes.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&attributes, B9600);
    tcsetattr(m_slave, TCSANOW, &attributes);

    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_watching =
        m_watch >= 0 && inotify_add_watch(m_watch, m_device.c_str(), IN_OPEN | IN_CLOSE) >= 0;
    if (!m_watching) log("warning: openings of the port cannot be seen");

    if (!m_options.linkPath.empty()) {
        struct stat existing {};
        if (::lstat(m_options.linkPath.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode)) {
                std::cerr << "vqradio-sim: " << m_options.linkPath << " exists\n";
                return false;
            }
            ::unlink(m_options.linkPath.c_str());
        }
        if (::symlink(m_device.c_str(), m_options.linkPath.c_str()) != 0) {
            std::cerr << "vqradio-sim: cannot link " << m_options.linkPath << ": "
                      << std::strerror(errno) << "\n";
            return false;
        }
    }

    std::cout << m_device << std::endl;
    log("device " + m_device);
    return true;
}

int PtyServer::run() {
    if (!setUp()) return 1;

    bool stop = false;
    while (!stop) {
        std::array<pollfd, 3> fds{{
            {m_signals, POLLIN, 0},
            {m_watch, POLLIN, 0},
            {m_master, static_cast<short>(POLLIN | (m_outputBlocked ? POLLOUT : 0)), 0},
        }};
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
        if (ready < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) stop = true;
        // Openings first: the bytes of a fresh session must not be taken for a closed port's.
        if (fds[1].revents & POLLIN) handleWatchEvents();
        if (m_master >= 0 && (fds[2].revents & POLLIN)) handleInput();
        if (m_master >= 0 && (fds[2].revents & POLLOUT)) m_outputBlocked = false;
        if (m_master >= 0) sendDue();
    }

    dump();
    if (!m_options.linkPath.empty() && m_master >= 0) ::unlink(m_options.linkPath.c_str());
    log("exit");
    return 0;
}

void PtyServer::handleWatchEvents() {
    alignas(inotify_event) std::array<char, 4096> buffer;
    while (true) {
        const ssize_t n = ::read(m_watch, buffer.data(), buffer.size());
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_OPEN) {
                m_loggedSettings.clear();
                log("open");
            }
            if (event->mask & IN_CLOSE) {
                log("close");
                // What a closed port would have received is lost, as on a real line.
                m_radio.abandonPartialRequest();
                m_output.clear();
                if (m_slave >= 0) tcflush(m_slave, TCIFLUSH);
            }
        }
    }
}

std::string PtyServer::currentSettings() const {
    termios attributes{};
    if (tcgetattr(m_slave, &attributes) != 0) return "?";
    return SettingsOf(attributes);
}

int PtyServer::currentBaud() const {
    termios attributes{};
    if (tcgetattr(m_slave, &attributes) != 0) return 0;
    return BaudOf(cfgetospeed(&attributes));
}

void PtyServer::handleInput() {
    // A poll can report the tool's bytes before the closing and opening that came ahead of
    // them; taken in that order, the closing would throw away the start of a new request.
    handleWatchEvents();
    std::array<std::uint8_t, 4096> buffer;
    const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
    if (n <= 0) return;

    const std::string settings = currentSettings();
    if (settings != m_loggedSettings) {
        m_loggedSettings = settings;
        log("settings " + settings);
    }

    const Response response = m_radio.feed(std::span(buffer.data(), static_cast<std::size_t>(n)));

    const auto& requests = m_radio.requests();
    for (; m_loggedRequests < requests.size(); ++m_loggedRequests) {
        const RecordedRequest& r = requests[m_loggedRequests];
        std::string line = "request " + std::string(RequestKindName(r.kind)) +
                           " bytes=" + std::to_string(r.bytes.size());
        if (r.kind == RequestKind::FlashWrite || r.kind == RequestKind::LineData ||
            r.kind == RequestKind::LineOk) {
            line += " address=" + Hex(r.address);
        }
        line += " answer=" + std::to_string(r.answer.size()) + " settings=" + settings;
        if (!r.token.empty()) line += " token=" + r.token;
        log(line);
    }

    // The line keeps its order: a chunk never overtakes one queued before it.
    const auto now = Clock::now();
    for (const auto& chunk : response.chunks) {
        m_lastDue = std::max(m_lastDue, now + chunk.delay);
        m_output.push_back({m_lastDue, chunk.bytes});
    }
    if (response.flashConnectionEnded) dump();
    if (response.hangUp) {
        sendDue();
        unplug();
    }
}

void PtyServer::sendDue() {
    const auto now = Clock::now();
    while (!m_output.empty() && !m_outputBlocked) {
        Pending& head = m_output.front();
        if (head.due > now) return;

        std::size_t count = head.bytes.size() - head.sent;
        if (m_options.paced) {
            const int baud = currentBaud();
            if (baud > 0) {
                // Ten bits a byte: start, eight data, stop.
                const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / baud);
                m_lineFreeAt = std::max(m_lineFreeAt, head.due);
                const auto elapsed = now - m_lineFreeAt;
                const auto fit = static_cast<std::size_t>(std::max<std::int64_t>(
                    0, std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() /
                           byteTime.count()));
                count = std::min(count, fit);
                if (count == 0) {
                    m_nextPacedByte = m_lineFreeAt + byteTime;
                    return;
                }
                m_lineFreeAt += byteTime * static_cast<long>(count);
            }
        }

        if (m_options.byteGap) count = std::min<std::size_t>(count, 1);

        const ssize_t written = ::write(m_master, head.bytes.data() + head.sent, count);
        if (written < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) m_outputBlocked = true;
            return;
        }
        head.sent += static_cast<std::size_t>(written);
        if (head.sent == head.bytes.size()) m_output.pop_front();
        if (m_options.byteGap && !m_output.empty()) {
            Pending& next = m_output.front();
            next.due = std::max(next.due, Clock::now() + *m_options.byteGap);
        }
    }
}

int PtyServer::pollTimeoutMs() const {
    if (m_output.empty() || m_outputBlocked) return -1;
    const auto now = Clock::now();
    auto wake = m_output.front().due;
    if (m_options.paced && wake <= now) wake = std::max(wake, m_nextPacedByte);
    if (wake <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    return static_cast<int>(std::max<long long>(1, ms));
}

void PtyServer::unplug() {
    ::close(m_master);
    m_master = -1;
    ::close(m_slave);
    m_slave = -1;
    m_output.clear();
    if (!m_options.linkPath.empty()) ::unlink(m_options.linkPath.c_str());
    log("unplug");
}

void PtyServer::dump() {
    if (m_options.dumpPath.empty()) return;
    // Written aside and renamed, so a reader never sees half a dump.
    const std::string partial = m_options.dumpPath + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        log("cannot write " + m_options.dumpPath);
        return;
    }
    const Bytes& flash = m_radio.flash();
    const bool written = std::fwrite(flash.data(), 1, flash.size(), file) == flash.size();
    if (std::fclose(file) != 0 || !written ||
        std::rename(partial.c_str(), m_options.dumpPath.c_str()) != 0) {
        log("cannot write " + m_options.dumpPath);
        return;
    }
    log("dump " + m_options.dumpPath);
}

}  // namespace vq::sim

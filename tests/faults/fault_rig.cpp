#include "fault_rig.h"

#include <malloc.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <fstream>
#include <limits>
#include <random>
#include <set>

#include "file_text_input.h"
#include "frames.h"
#include "image_loader.h"
#include "srecord_text.h"

namespace vq::test {
namespace {

constexpr std::uint32_t kBlockBytes = kRowsPerBlock * MemoryImage::kColumns;
constexpr std::uint32_t kRecordBytes = 32;

std::string Field(const QString& line, const QString& name) {
    for (const QString& field : line.split(u' ')) {
        if (field.startsWith(name + u'=')) return field.mid(name.size() + 1).toStdString();
    }
    return {};
}

}  // namespace

std::vector<LoggedRequest> LoggedRequests(const SimProcess& sim) {
    std::vector<LoggedRequest> requests;
    for (const QString& line : sim.logLines(QStringLiteral("request"))) {
        LoggedRequest r;
        r.kind = line.section(u' ', 1, 1).toStdString();
        r.address =
            static_cast<std::uint32_t>(std::stoul("0" + Field(line, "address"), nullptr, 16));
        r.answerBytes = std::stoi("0" + Field(line, "answer"));
        r.token = Field(line, "token");
        requests.push_back(std::move(r));
    }
    return requests;
}

std::string MissingFromCompletedJob(const std::vector<LoggedRequest>& requests,
                                    const MemoryImage& image) {
    const auto answered = [&](const std::string& kind, std::initializer_list<const char*> tokens,
                              int bytes, std::optional<std::uint32_t> address = {}) {
        return std::any_of(requests.begin(), requests.end(), [&](const LoggedRequest& r) {
            return r.kind == kind && r.answerBytes == bytes &&
                   (!address || r.address == *address) &&
                   std::any_of(tokens.begin(), tokens.end(),
                               [&](const char* t) { return r.token == t; });
        });
    };
    if (!answered("identify", {"OK"}, 6)) return "no identification answered OK";
    if (!answered("connect-flash", {"CT"}, 4)) return "no connect answered CT";
    if (!answered("flash-erase", {"BE"}, 4)) return "no erase answered BE";
    for (std::uint32_t row = MemoryImage::kFirstRow; row < 0xFF00; row += kRowsPerBlock) {
        if (!BlockUsed(image, row)) continue;
        if (!answered("flash-write", {"PG", "OK"}, 4, row * 16)) {
            return "block " + RowAddressText(row) + " never acknowledged";
        }
    }
    if (requests.empty() || requests.back().kind != "flash-end" || requests.back().token != "ED" ||
        requests.back().answerBytes != 4) {
        return "the last request is not an end answered ED";
    }
    return {};
}

std::optional<std::uint32_t> FirstDifference(const QString& dumpPath, const MemoryImage& image) {
    QFile dump(dumpPath);
    if (!dump.open(QIODevice::ReadOnly)) return 0;
    const QByteArray flash = dump.readAll();
    const std::uint32_t size = MemoryImage::kLastAddress - MemoryImage::kFirstAddress + 1;
    if (static_cast<std::uint32_t>(flash.size()) != size) return 0;
    for (std::uint32_t offset = 0; offset < size; ++offset) {
        const std::uint32_t address = MemoryImage::kFirstAddress + offset;
        if (static_cast<std::uint8_t>(flash[offset]) != image.CellAt(address)) return address;
    }
    return std::nullopt;
}

TestImage MakeImage(const QString& path, const std::vector<std::uint32_t>& blocks,
                    std::uint32_t seed) {
    std::mt19937 random(seed);
    std::ofstream file(path.toStdString(), std::ios::binary);
    file << "S0030000FC\r\n";
    for (const std::uint32_t block : blocks) {
        for (std::uint32_t at = block; at < block + kBlockBytes; at += kRecordBytes) {
            std::vector<std::uint8_t> data(kRecordBytes);
            // Never 0xFF, so that every row of the block is used.
            for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random() % 0xFF);
            file << S2Record(at, data) << "\r\n";
        }
    }
    file << "S804000000FB\r\n";
    file.close();

    TestImage made{path, {}};
    FileTextInput files;
    const LoadOutcome loaded = LoadImageFile(path.toStdString(), files, made.image);
    if (!loaded.loaded()) made.path.clear();
    return made;
}

std::multiset<std::string> FileDescriptors() {
    std::multiset<std::string> targets;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const std::string listing = "/proc/" + std::to_string(::getpid()) + "/fd";
    for (const QString& fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        std::array<char, 512> link{};
        const std::string name = "/proc/self/fd/" + fd.toStdString();
        const ssize_t n = ::readlink(name.c_str(), link.data(), link.size() - 1);
        if (n <= 0) continue;
        const std::string target(link.data(), static_cast<std::size_t>(n));
        if (target.starts_with("pipe:") || target.starts_with("socket:") ||
            target == "anon_inode:[pidfd]" || target == listing) {
            continue;
        }
        targets.insert(target);
    }
    return targets;
}

bool HoldsPath(const QString& path) {
    const std::string wanted = path.toStdString();
    const auto fds = FileDescriptors();
    return std::any_of(fds.begin(), fds.end(),
                       [&](const std::string& target) { return target.starts_with(wanted); });
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return -1;
}

long HeapInUseKiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

CommandOutcome InProcessTool::Program(const QString& device) {
    // The fake window records every progress step; the window it stands for keeps none.
    window.text1History = {};
    window.barHistory = {};
    port.setDeviceName(device);
    return RunStartJob(link, flash);
}

CliJob::CliJob(const QString& device, const QString& imagePath) {
    QObject::connect(&m_process, &QProcess::finished, &m_process, [this] {
        m_ended = Clock::now();
        m_out = QString::fromUtf8(m_process.readAllStandardOutput());
        m_err = QString::fromUtf8(m_process.readAllStandardError());
    });
    m_started = Clock::now();
    m_process.start(QStringLiteral(VQ_CLI_PROGRAM),
                    {"program", "--port", device, "--image", imagePath, "--quiet"});
}

bool CliJob::finish(std::chrono::milliseconds timeout) {
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(timeout.count())) {
        m_process.kill();
        m_process.waitForFinished(1000);
        return false;
    }
    return true;
}

QString CliJob::message() const {
    const QStringList lines = m_out.trimmed().split(u'\n');
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

}  // namespace vq::test

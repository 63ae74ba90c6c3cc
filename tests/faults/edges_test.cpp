// Bad input at the edges: what an operator can type into the window's boxes or drop on it,
// and what a caller can hand the command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "fault_rig.h"
#include "image_loader.h"
#include "range_checksum.h"
#include "window_rig.h"

extern char** environ;

namespace vq::test {
namespace {

using Shown = RecordingMessageBox::Shown;
namespace fs = std::filesystem;

constexpr std::size_t kHugeFileBytes = 100u << 20;

// The peak resident size of this process from here on, in KiB: the kernel's high-water mark
// is reset, so an earlier peak does not hide a later one.
class PeakMemory {
  public:
    PeakMemory() {
        std::ofstream("/proc/self/clear_refs") << "5";
        m_start = Status("VmRSS:");
    }
    long growthKiB() const { return Status("VmHWM:") - m_start; }

  private:
    static long Status(const std::string& key) {
        std::ifstream status("/proc/self/status");
        std::string word;
        while (status >> word) {
            if (word == key) {
                long kib = 0;
                status >> kib;
                return kib;
            }
        }
        return -1;
    }
    long m_start = 0;
};

// 100 MiB of seeded random bytes; with lineEnds false, CR and LF are left out, so the whole
// file is one line. The first byte is never "S", so the first line is always refused.
std::string WriteGarbage(const QTemporaryDir& dir, const char* name, bool lineEnds) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream file(path, std::ios::binary);
    std::mt19937 random(7);
    std::vector<char> chunk(1 << 20);
    for (std::size_t written = 0; written < kHugeFileBytes; written += chunk.size()) {
        for (std::size_t i = 0; i < chunk.size(); i += 4) {
            const std::uint32_t bits = random();
            std::memcpy(&chunk[i], &bits, 4);
        }
        if (!lineEnds)
            std::replace_if(
                chunk.begin(), chunk.end(), [](char c) { return c == '\r' || c == '\n'; }, 'x');
        if (written == 0) chunk[0] = '#';
        file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    return path;
}

TEST(WindowEdges, APinNumberThatIsNotPlainAsciiSendsNothing) {
    for (const char* pin : {"１２", "1é", "ピン", "12\u00A0", "\U0001F4FB"}) {
        SCOPED_TRACE(pin);
        WindowRig rig;
        rig.find<QLineEdit>("txtPinNumber")->setText(QString::fromUtf8(pin));
        auto* go = rig.find<QPushButton>("Command2");
        go->click();
        EXPECT_EQ(rig.find<QLineEdit>("Text2")->text(), "???");
        EXPECT_EQ(rig.port->opens, 0);
        EXPECT_TRUE(rig.port->writes.empty());
        EXPECT_TRUE(go->isEnabled());
        EXPECT_TRUE(rig.box->shown.empty());
    }
}

TEST(WindowEdges, ChecksumBoxesEmptyHugeOrNotHex) {
    const std::string manyZeros(32000, '0');
    const std::string megabytesOfF(4u << 20, 'F');
    struct Case {
        const char* name;
        std::string start;
        std::string stop;
        Shown box;
    };
    const Shown outOfRange{"Address out of range", 48, "CHECK SUM"};
    const std::vector<Case> cases{
        {"both empty", "", "", outOfRange},
        {"start empty", "", "FFFFF", outOfRange},
        {"stop empty", "E0000", "", {"0", 0, "CHECK SUM"}},
        {"leading zeros", manyZeros + "E0000", "E0000", {"A", 0, "CHECK SUM"}},
        // The box keeps 32767 characters; what is left still reads as a huge address.
        {"megabytes of digits", "E0000", megabytesOfF, outOfRange},
        {"full-width digits", "Ｅ0000", "E0000", outOfRange},
    };
    WindowRig rig;
    rig.LoadImage({S2Record(0xE0000, {0x0A})});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.box->shown.clear();
        rig.find<QLineEdit>("txtCsStt")->setText(QString::fromStdString(c.start));
        rig.find<QLineEdit>("txtCsStp")->setText(QString::fromStdString(c.stop));
        rig.find<QPushButton>("cmdCheckSum")->click();
        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
    }
    // Texts the box would cut, as the command line passes them.
    MemoryImage image;
    image.Store(0xE000, 0, 0x0A);
    EXPECT_EQ(RangeChecksum(image, std::string(4u << 20, '0') + "E0000", "E0000"), 0x0Au);
    EXPECT_EQ(RangeChecksum(image, "E0000", megabytesOfF), std::nullopt);
}

// What is not a plain file cannot be an image: a directory, a pipe (whose opening would wait
// for a writer), a device. Each is refused at once, and the image stays as it was.
TEST(WindowEdges, ADroppedDirectoryPipeOrDeviceIsAFileOpenError) {
    WindowRig rig;
    rig.LoadImage({S2Record(0xD1230, {0x5A})});
    const MemoryImage before = rig.window->Image();

    const std::string fifo = rig.scratch.filePath("pipe.s28").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should the tool open the pipe after all, a writer is there to end the reading.
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        const char line[] = "S0030000FC\r\n";
        EXPECT_EQ(::write(fd, line, sizeof line - 1), static_cast<ssize_t>(sizeof line - 1));
        ::close(fd);
    });

    for (const std::string& path :
         {rig.scratch.path().toStdString(), fifo, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        rig.box->shown.clear();
        rig.window->Text3_OLEDragDrop(*WindowRig::FileDrop({path}));
        EXPECT_EQ(rig.box->shown, (std::vector<Shown>{{"File Open Error", 16, "ERROR"}}));
        EXPECT_TRUE(rig.window->Image() == before);
        EXPECT_NE(rig.window->cursor().shape(), Qt::WaitCursor);
    }
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    ::close(reader);
}

// A file opened for reading that is then deleted is still read whole; one cut short in the
// middle of a line ends with the refusal of that line, and the image is kept.
TEST(LoaderEdges, AFileThatVanishesWhileOpen) {
    class AfterOpening : public TextFileInput {
      public:
        explicit AfterOpening(std::function<void(const std::string&)> act)
            : m_act(std::move(act)) {}
        std::unique_ptr<TextFile> open(const std::string& name) override {
            auto file = m_files.open(name);
            m_act(name);
            return file;
        }

      private:
        FileTextInput m_files;
        std::function<void(const std::string&)> m_act;
    };
    QTemporaryDir dir;
    std::vector<std::string> lines;
    for (std::uint32_t at = 0xD0000; at < 0xD0400; at += 16) {
        lines.push_back(S2Record(at, std::vector<std::uint8_t>(16, 0x42)));
    }
    const auto write = [&] {
        const std::string path = dir.filePath("image.s28").toStdString();
        std::ofstream file(path, std::ios::binary);
        for (const std::string& line : lines) file << line << "\r\n";
        return path;
    };

    MemoryImage image;
    AfterOpening deleting([](const std::string& name) { fs::remove(name); });
    const std::string deleted = write();
    EXPECT_TRUE(LoadImageFile(deleted, deleting, image).loaded());
    EXPECT_FALSE(fs::exists(deleted));
    EXPECT_EQ(image.CellAt(0xD03FF), 0x42);

    image.Store(0xE000, 0, 0x11);
    const MemoryImage before = image;
    AfterOpening cutting(
        [](const std::string& name) { fs::resize_file(name, fs::file_size(name) / 2 + 5); });
    const LoadOutcome cut = LoadImageFile(write(), cutting, image);
    EXPECT_EQ(cut.kind, LoadOutcome::Kind::RefusedLine);
    EXPECT_EQ(cut.lineNumber, static_cast<int>(lines.size() / 2) + 1);
    EXPECT_TRUE(image == before);
}

TEST(WindowEdges, AHundredMebibytesOfGarbageIsRefusedInBoundedMemoryAndTheImageKept) {
    WindowRig rig;
    rig.LoadImage({S2Record(0xD1230, {0x5A})});
    const MemoryImage before = rig.window->Image();
    for (const bool lineEnds : {true, false}) {
        SCOPED_TRACE(lineEnds ? "random bytes" : "one line of 100 MiB");
        const std::string path = WriteGarbage(rig.scratch, "garbage.s28", lineEnds);
        rig.box->shown.clear();
        const PeakMemory peak;
        rig.window->Text3_OLEDragDrop(*WindowRig::FileDrop({path}));
        EXPECT_LT(peak.growthKiB(), 32 * 1024) << "the file is not held in memory";
        EXPECT_EQ(rig.box->shown,
                  (std::vector<Shown>{{"Error Code = 9 ; line number = 1", 48, "Error"}}));
        EXPECT_TRUE(rig.window->Image() == before);
        fs::remove(path);
    }
}

struct CliRun {
    int exitCode = -1;
    std::string output;  // standard output
    long maxResidentKiB = 0;
};

// vqflash-cli with these arguments; the child's peak memory comes from wait4.
CliRun RunCli(const QTemporaryDir& dir, const std::vector<std::string>& args) {
    const std::string out = dir.filePath("cli.out").toStdString();
    std::vector<std::string> argv{VQ_CLI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    CliRun run;
    if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
            run.exitCode = WEXITSTATUS(status);
            run.maxResidentKiB = usage.ru_maxrss;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream file(out);
    run.output.assign(std::istreambuf_iterator<char>(file), {});
    return run;
}

TEST(CommandLineEdges, BadArgumentsEndWithTheirMessageAndTouchNoRadio) {
    QTemporaryDir dir;
    SimProcess sim;
    ASSERT_TRUE(sim.started());
    const std::string port = sim.device().toStdString();
    const std::string garbage = WriteGarbage(dir, "garbage.s28", false);
    const std::string hugeHex(100000, 'F');  // one argument may hold at most 128 KiB
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string output;
        int exitCode;
    };
    const std::vector<Case> cases{
        {"pin not plain ASCII", {"pin-test", "１２", "read", "--port", port}, "???\n", 1},
        {"checksum of empty texts", {"checksum", "", ""}, "Address out of range\n", 1},
        {"checksum start huge", {"checksum", hugeHex, "FFFFF"}, "0\n", 0},
        {"checksum stop huge", {"checksum", "E0000", hugeHex}, "Address out of range\n", 1},
        {"image a directory",
         {"program", "--image", dir.path().toStdString(), "--port", port},
         "File Open Error\n",
         3},
        {"image a device",
         {"program", "--image", "/dev/null", "--port", port},
         "File Open Error\n",
         3},
        {"image 100 MiB of garbage",
         {"program", "--image", garbage, "--port", port},
         "Error Code = 9 ; line number = 1\n",
         3},
    };
    // Against a run that reads no file: the peak that wait4 reports also holds this process's
    // size when it spawned the child, and a sanitizer's own memory.
    const long baseline = RunCli(dir, {"checksum", "E0000", "E0000"}).maxResidentKiB;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = RunCli(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.output, c.output);
        EXPECT_LT(run.maxResidentKiB - baseline, 32 * 1024) << "the file is not held in memory";
    }
    EXPECT_TRUE(sim.logLines("open").isEmpty()) << "nothing reached the radio";
    fs::remove(garbage);
}

}  // namespace
}  // namespace vq::test

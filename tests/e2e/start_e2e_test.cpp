// The Start button of the real window, on the Qt port, timer and pump, against vqradio-sim.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QProgressBar>
#include <ostream>

#include "window_on_pty.h"

namespace vq::test {

inline void PrintTo(const RecordingMessageBox::Shown& box, std::ostream* out) {
    *out << '"' << box.prompt << "\" style " << box.style << " title \"" << box.title << '"';
}

namespace {

using Shown = RecordingMessageBox::Shown;

const Shown kCompleted{"Completed.", MessageBox::kStyleNone, "OK"};

Shown Ng(const char* message) {
    return {message, MessageBox::kStyleExclamation, "NG"};
}

std::vector<std::string> Join(std::vector<std::string> head,
                              const std::vector<std::uint32_t>& writes,
                              const std::vector<std::string>& tail = {}) {
    for (const std::uint32_t address : writes) head.push_back(WriteStep(address));
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class StartOverPty : public ::testing::Test {
  protected:
    // What the window looked like while its box was up.
    struct DuringBox {
        bool barVisible = false;
        bool startEnabled = true;
    };

    StartOverPty() {
        rig.Box().onShow = [this] {
            during.barVisible = Bar()->isVisible();
            during.startEnabled = Start()->isEnabled();
        };
    }

    QPushButton* Start() const { return rig.Find<QPushButton>("cmdMorvek"); }
    QProgressBar* Bar() const { return rig.Find<QProgressBar>("bar"); }
    std::string Text1() const { return rig.Find<QLineEdit>("Text1")->text().toStdString(); }

    // After every job: the port closed, the controls back, the bar shown until the box.
    void ExpectJobOver() {
        EXPECT_TRUE(rig.WaitUntilSimSeesClosed()) << rig.Sim().logLines().join(u'\n').toStdString();
        EXPECT_FALSE(rig.HoldsDevice());
        EXPECT_TRUE(Start()->isEnabled());
        EXPECT_FALSE(Bar()->isVisible());
        EXPECT_TRUE(during.barVisible);
        EXPECT_FALSE(during.startEnabled);
    }

    // Every byte of the range as the window's image holds it.
    void ExpectDumpEqualsImage(const QByteArray& dump, std::uint32_t first, std::uint32_t last) {
        ASSERT_EQ(dump.size(), MemoryImage::kLastAddress - MemoryImage::kFirstAddress + 1);
        const MemoryImage& image = rig.Window().Image();
        int differences = 0;
        for (std::uint32_t address = first; address <= last && differences < 5; ++address) {
            const auto flashed =
                static_cast<std::uint8_t>(dump[address - MemoryImage::kFirstAddress]);
            if (flashed != image.CellAt(address)) {
                ++differences;
                ADD_FAILURE() << std::hex << "0x" << address << ": flash " << int(flashed)
                              << ", image " << int(image.CellAt(address));
            }
        }
    }

    WindowOnPty rig;
    DuringBox during;
};

TEST_F(StartOverPty, WritesTheCarriedImageBlockByBlock) {
    rig.StartSim();
    rig.ClickStart();

    EXPECT_EQ(rig.Box().shown, std::vector<Shown>{kCompleted});
    EXPECT_EQ(Text1(), "Completed.");
    ExpectJobOver();

    const auto blocks = UsedBlocks(rig.Window().Image(), WindowOnPty::kNormalLastRow);
    const auto requests = LoggedRequests(rig.Sim());
    EXPECT_EQ(Steps(requests),
              Join({"identify", "connect-flash", "flash-erase"}, blocks, {"flash-end"}));
    for (const LoggedRequest& request : requests) {
        EXPECT_EQ(request.settings, "57600,n,8,1") << request.step();
        if (request.kind.starts_with("flash-")) {
            EXPECT_EQ(request.bytes, 1032) << request.step();
        }
    }

    const QByteArray dump = rig.WaitForDump();
    ExpectDumpEqualsImage(dump, MemoryImage::kFirstAddress, 0xFEFFF);
    // The carried image has data up there, which only the full-range word lets through.
    ASSERT_LT(blocks.size(), UsedBlocks(rig.Window().Image(), WindowOnPty::kFullLastRow).size());
    EXPECT_EQ(dump.mid(0xFF000 - MemoryImage::kFirstAddress), QByteArray(0x1000, '\xFF'));
}

TEST_F(StartOverPty, FullRangeWordWritesTheTopFourKilobytesToo) {
    QTest::keyClicks(rig.Find<QLineEdit>("txtPinNumber"), "KESTRAL");
    rig.StartSim();
    rig.ClickStart();

    EXPECT_EQ(rig.Box().shown, std::vector<Shown>{kCompleted});
    ExpectJobOver();
    EXPECT_EQ(Steps(LoggedRequests(rig.Sim())),
              Join({"identify", "connect-flash", "flash-erase"},
                   UsedBlocks(rig.Window().Image(), WindowOnPty::kFullLastRow), {"flash-end"}));
    ExpectDumpEqualsImage(rig.WaitForDump(), MemoryImage::kFirstAddress, MemoryImage::kLastAddress);
}

// One box per job, the radio left alone after the failing step, and a window that runs the
// next job normally against a sound radio.
TEST_F(StartOverPty, EachFailureEndsTheJobWithItsOneMessage) {
    const auto blocks = UsedBlocks(rig.Window().Image(), WindowOnPty::kNormalLastRow);
    ASSERT_GE(blocks.size(), 3u);
    const QString second = QString::number(blocks[1], 16);
    const std::vector<std::string> identified = {"identify", "connect-flash"};
    const std::vector<std::string> erased = {"identify", "connect-flash", "flash-erase"};
    // The first block, then ten tries of the second.
    std::vector<std::uint32_t> tenTries(11, blocks[1]);
    tenTries[0] = blocks[0];
    std::vector<std::uint32_t> tenTriesThenTheRest = tenTries;
    tenTriesThenTheRest.insert(tenTriesThenTheRest.end(), blocks.begin() + 2, blocks.end());

    const auto hex = [](std::uint32_t address) {
        return QString::number(address, 16).toUpper().toStdString();
    };
    struct Case {
        const char* name;
        QStringList options;
        Shown box;
        std::vector<std::string> steps;
        // Empty before the write, the block where it stopped, or the success text.
        std::string text1;
    };
    const std::vector<Case> cases = {
        {"region", {"--region-error"}, Ng("Region error"), {"identify"}, ""},
        {"connect answered OK",
         {"--token-for", "connect-flash:OK"},
         Ng("Connect failed."),
         identified,
         ""},
        {"erase refused",
         {"--token-for", "flash-erase:NG"},
         Ng("Erase failed."),
         {"identify", "connect-flash", "flash-erase", "flash-erase", "flash-erase"},
         ""},
        {"block refused ten times",
         {"--block-token", second + ":NG:10"},
         Ng("Write failed."),
         Join(erased, tenTries),
         hex(blocks[1])},
        {"block refused nine times",
         {"--block-token", second + ":NG:9"},
         kCompleted,
         Join(erased, tenTriesThenTheRest, {"flash-end"}),
         "Completed."},
        {"unplugged in the erase frame",
         {"--unplug-after-bytes", "600"},
         Ng("Erase failed."),
         identified,
         ""},
        {"unplugged in the first write frame",
         {"--unplug-after-bytes", "100", "--unplug-in-frame", "2"},
         Ng("Write failed."),
         erased,
         hex(blocks[0])},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.Box().shown.clear();
        during = {};
        rig.Window().setText1("");
        rig.StartSim(c.options);
        rig.ClickStart();
        EXPECT_EQ(rig.Box().shown, std::vector<Shown>{c.box});
        EXPECT_EQ(Text1(), c.text1);
        EXPECT_EQ(Steps(LoggedRequests(rig.Sim())), c.steps);
        ExpectJobOver();

        rig.Box().shown.clear();
        rig.StartSim();
        rig.ClickStart();
        EXPECT_EQ(rig.Box().shown, std::vector<Shown>{kCompleted}) << "the job after it";
    }
}

TEST_F(StartOverPty, SilentRadioFailsTheIdentificationAfterTheTimeOut) {
    rig.StartSim({"--silent"});
    rig.ClickStart();
    EXPECT_EQ(rig.Box().shown, std::vector<Shown>{Ng("Error")});
    EXPECT_TRUE(LoggedRequests(rig.Sim()).empty());
    ExpectJobOver();
}

}  // namespace
}  // namespace vq::test

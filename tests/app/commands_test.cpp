#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <optional>

#include "window_rig.h"

namespace vq::test {
namespace {

using Shown = RecordingMessageBox::Shown;
using R = Request;

std::vector<Request> Repeat(const std::vector<Request>& unit, int times) {
    std::vector<Request> all;
    for (int k = 0; k < times; ++k) all.insert(all.end(), unit.begin(), unit.end());
    return all;
}

std::vector<Request> Join(std::initializer_list<std::vector<Request>> parts) {
    std::vector<Request> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One used row, 0xC005, in the first block: a write is one frame, or one data line and one
// acknowledgement line.
const std::vector<std::string> kOneRowImage{S2Record(0xC0050, {0x12, 0x34, 0x56})};

struct CommandRig : WindowRig {
    CommandRig() { LoadImage(kOneRowImage); }
};

// What the window looked like while the radio was being asked, and while the box was up.
struct Observed {
    bool buttonEnabledDuringWait = true;
    bool hourglassDuringWait = false;
    bool buttonEnabledDuringBox = true;
    bool hourglassDuringBox = false;
};

Observed Watch(CommandRig& rig, QPushButton* button) {
    auto observed = std::make_shared<Observed>();
    rig.radio->onRequest = [&rig, button, observed](Request) {
        observed->buttonEnabledDuringWait = button->isEnabled();
        observed->hourglassDuringWait = rig.window->cursor().shape() == Qt::WaitCursor;
    };
    rig.box->onShow = [&rig, button, observed] {
        observed->buttonEnabledDuringBox = button->isEnabled();
        observed->hourglassDuringBox = rig.window->cursor().shape() == Qt::WaitCursor;
    };
    button->click();
    return *observed;
}

struct CommandCase {
    const char* button;
    std::function<void(FakeRadio&)> radio;
    bool hourglass;
    Shown box;
};

const Shown kConnected{"Connected.", 0, "OK"};
const Shown kConnectFailed{"Connect failed.", 48, "NG"};
const Shown kErased{"Erased.", 0, "OK"};
const Shown kEraseFailed{"Erase failed.", 48, "NG"};
const Shown kWriteOk{"Write OK.", 0, "OK"};
const Shown kWriteFailed{"Write failed.", 48, "NG"};
const Shown kDisconnected{"Disconnected.", 0, "OK"};
const Shown kDisconnectFailed{"Disconnect failed.", 48, "NG"};

auto Answer(Request kind, std::string token) {
    return [kind, token](FakeRadio& radio) { radio.Answer(kind, token); };
}
auto Silence(Request kind) {
    return [kind](FakeRadio& radio) { radio.Silence(kind); };
}
const auto kWillingRadio = [](FakeRadio&) {};
const auto kBrokenReadback = [](FakeRadio& radio) { radio.readbackIntact = false; };

TEST(OperatorCommands, EachButtonCountsOnlyItsOwnSuccessValue) {
    const std::vector<CommandCase> cases{
        {"Command1", kWillingRadio, false, kConnected},
        {"Command1", Answer(R::ConnectText0, "CT\r\n"), false, kConnectFailed},
        {"cmbErase", kWillingRadio, false, kErased},
        {"cmbErase", Answer(R::EraseLine, "ED\r\n"), false, kEraseFailed},
        {"cmbWrite", kWillingRadio, true, kWriteOk},
        {"cmbWrite", kBrokenReadback, true, kWriteFailed},
        {"cmbEnd", kWillingRadio, false, {"Disconnected", 0, "OK"}},
        {"cmbEnd", Silence(R::EndLine), false, kDisconnectFailed},
        {"Command4", kWillingRadio, false, kConnected},
        {"Command4", Silence(R::ConnectText1), false, kConnectFailed},
        {"Command7", kWillingRadio, false, kErased},
        {"Command7", Answer(R::EraseLine, "BE\r\n"), false, kEraseFailed},
        {"Command6", kWillingRadio, true, {"Write completed.", 0, "OK"}},
        {"Command6", Answer(R::OkLine, "NG\r\n"), true, kWriteFailed},
        {"Command5", kWillingRadio, false, kDisconnected},
        {"Command5", Answer(R::EndLine, "ED\r\n"), false, kDisconnectFailed},
        {"Command11", kWillingRadio, false, kConnected},
        {"Command11", Answer(R::ConnectFlash, "OK\r\n"), false, kConnectFailed},
        {"Command8", kWillingRadio, false, kErased},
        {"Command8", Answer(R::EraseFrame, "OK\r\n"), false, kEraseFailed},
        {"Command9", kWillingRadio, true, kWriteOk},
        {"Command9", Answer(R::WriteFrame, "OK\r\n"), true, kWriteOk},
        {"Command9", Answer(R::WriteFrame, "NG\r\n"), true, kWriteFailed},
        {"Command10", kWillingRadio, false, kDisconnected},
        {"Command10", Answer(R::EndFrame, "OK\r\n"), false, kDisconnectFailed},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " -> " + c.box.prompt);
        CommandRig rig;
        c.radio(*rig.radio);
        auto* button = rig.find<QPushButton>(c.button);
        const Observed seen = Watch(rig, button);

        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
        ASSERT_FALSE(rig.radio->heard.empty());
        // Write buttons stay usable and show the hourglass until the box is closed; the
        // others are locked until then.
        EXPECT_EQ(seen.buttonEnabledDuringWait, c.hourglass);
        EXPECT_EQ(seen.buttonEnabledDuringBox, c.hourglass);
        EXPECT_EQ(seen.hourglassDuringWait, c.hourglass);
        EXPECT_EQ(seen.hourglassDuringBox, c.hourglass);
        EXPECT_TRUE(button->isEnabled());
        EXPECT_NE(rig.window->cursor().shape(), Qt::WaitCursor);
        EXPECT_FALSE(rig.port->portOpen());
    }
}

struct SequenceCase {
    const char* name;
    const char* button;
    std::function<void(WindowRig&)> setup;
    std::vector<Request> requests;
    Shown box;
};

auto Radio(std::function<void(FakeRadio&)> change) {
    return [change](WindowRig& rig) { change(*rig.radio); };
}

const std::vector<Request> kFlashSequence{R::ConnectFlash, R::EraseFrame, R::WriteFrame,
                                          R::EndFrame};
const Shown kCompleted{"Completed.", 0, "OK"};
const Shown kFlashWritten{"FLASH Memory writing completed.", 0, "OK"};

TEST(Sequences, StopAtTheFirstFailingStepWithItsOneMessage) {
    const std::vector<SequenceCase> cases{
        {"flash sequence succeeds", "cmdMacro(2)", Radio(kWillingRadio), kFlashSequence,
         kCompleted},
        {"flash connect answered OK",
         "cmdMacro(2)",
         Radio(Answer(R::ConnectFlash, "OK\r\n")),
         {R::ConnectFlash},
         kConnectFailed},
        {"flash erase answered OK",
         "cmdMacro(2)",
         Radio(Answer(R::EraseFrame, "OK\r\n")),
         {R::ConnectFlash, R::EraseFrame},
         kEraseFailed},
        {"flash erase silent", "cmdMacro(2)", Radio(Silence(R::EraseFrame)),
         Join({{R::ConnectFlash}, Repeat({R::EraseFrame}, 3)}), kEraseFailed},
        {"flash write refused", "cmdMacro(2)", Radio(Answer(R::WriteFrame, "NG\r\n")),
         Join({{R::ConnectFlash, R::EraseFrame}, Repeat({R::WriteFrame}, 10)}), kWriteFailed},
        {"flash end answered OK", "cmdMacro(2)", Radio(Answer(R::EndFrame, "OK\r\n")),
         kFlashSequence, kDisconnectFailed},
        {"text mode 0 succeeds",
         "cmdMacro(0)",
         Radio(kWillingRadio),
         {R::ConnectText0, R::EraseLine, R::DataLine, R::OkLine, R::EndLine},
         kFlashWritten},
        {"text mode 1 succeeds",
         "cmdMacro(1)",
         Radio(kWillingRadio),
         {R::ConnectText1, R::EraseLine, R::DataLine, R::OkLine, R::EndLine},
         kFlashWritten},
        {"text mode 1 connect answered CT",
         "cmdMacro(1)",
         Radio(Answer(R::ConnectText1, "CT\r\n")),
         {R::ConnectText1},
         kConnectFailed},
        {"text mode 0 erase refused", "cmdMacro(0)", Radio(Answer(R::EraseLine, "NG\r\n")),
         Join({{R::ConnectText0}, Repeat({R::EraseLine}, 10)}), kEraseFailed},
        {"text mode 1 write read back wrong", "cmdMacro(1)", Radio(kBrokenReadback),
         Join({{R::ConnectText1, R::EraseLine}, Repeat({R::DataLine, R::NgLine}, 10)}),
         kWriteFailed},
        {"text mode 0 end silent", "cmdMacro(0)", Radio(Silence(R::EndLine)),
         Join({{R::ConnectText0, R::EraseLine, R::DataLine, R::OkLine}, Repeat({R::EndLine}, 10)}),
         kDisconnectFailed},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        CommandRig rig;
        c.setup(rig);
        auto* button = rig.find<QPushButton>(c.button);
        bool enabledDuringWait = true;
        rig.radio->onRequest = [&](Request) { enabledDuringWait = button->isEnabled(); };
        std::string text1WhileBoxUp;
        rig.box->onShow = [&] {
            text1WhileBoxUp = rig.find<QLineEdit>("Text1")->text().toStdString();
        };
        button->click();

        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
        EXPECT_EQ(rig.radio->heard, c.requests);
        EXPECT_FALSE(enabledDuringWait);
        EXPECT_TRUE(button->isEnabled());
        // Only a whole flash sequence leaves "Completed." in Text1, once its box is closed.
        const bool completed = c.box == kCompleted;
        EXPECT_NE(text1WhileBoxUp, "Completed.");
        EXPECT_EQ(rig.find<QLineEdit>("Text1")->text() == "Completed.", completed);
    }
}

struct StartCase {
    const char* name;
    std::function<void(WindowRig&)> setup;
    std::vector<Request> requests;
    Shown box;
};

TEST(Start, IdentifiesTheRadioThenRunsTheFlashSequence) {
    const std::vector<StartCase> cases{
        {"all steps succeed", Radio(kWillingRadio), Join({{R::Identify}, kFlashSequence}),
         kCompleted},
        {"other region",
         Radio(Answer(R::Identify, "\r\nRE\r\n")),
         {R::Identify},
         {"Region error", 48, "NG"}},
        {"refused", Radio(Answer(R::Identify, "\r\nNG\r\n")), {R::Identify}, {"Error", 48, "NG"}},
        {"pin state", Radio(Answer(R::Identify, "\r\n01\r\n")), {R::Identify}, {"Error", 48, "NG"}},
        {"silent", Radio(Silence(R::Identify)), {R::Identify}, {"Error", 48, "NG"}},
        {"no port",
         [](WindowRig& rig) { rig.port->setPresentPorts({2}); },
         {},
         {"Error", 48, "NG"}},
        {"identified, connect fails",
         Radio(Silence(R::ConnectFlash)),
         {R::Identify, R::ConnectFlash},
         kConnectFailed},
        {"identified, write fails", Radio(Answer(R::WriteFrame, "NG\r\n")),
         Join({{R::Identify, R::ConnectFlash, R::EraseFrame}, Repeat({R::WriteFrame}, 10)}),
         kWriteFailed},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        CommandRig rig;
        c.setup(rig);
        auto* start = rig.find<QPushButton>("cmdMorvek");
        auto* macro2 = rig.find<QPushButton>("cmdMacro(2)");
        auto* bar = rig.find<QProgressBar>("bar");
        rig.window->setBarValue(0xF000);
        struct During {
            bool barShown = true;
            bool startEnabled = false;
            bool macroEnabledInSequence = false;
            int barValueAtIdentify = -1;
        } during;
        rig.radio->onRequest = [&](Request kind) {
            during.barShown &= bar->isVisibleTo(rig.window.get());
            during.startEnabled |= start->isEnabled();
            if (kind == R::Identify) {
                during.barValueAtIdentify = bar->value();
            } else {
                during.macroEnabledInSequence |= macro2->isEnabled();
            }
        };
        bool barShownWithBox = false;
        rig.box->onShow = [&] { barShownWithBox = bar->isVisibleTo(rig.window.get()); };
        start->click();

        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
        EXPECT_EQ(rig.radio->heard, c.requests);
        if (!c.requests.empty()) {
            EXPECT_EQ(during.barValueAtIdentify, 0xC000);
        }
        EXPECT_TRUE(during.barShown);
        EXPECT_TRUE(barShownWithBox);
        EXPECT_FALSE(during.startEnabled);
        EXPECT_FALSE(during.macroEnabledInSequence);
        EXPECT_FALSE(bar->isVisibleTo(rig.window.get()));
        EXPECT_TRUE(start->isEnabled());
        EXPECT_TRUE(macro2->isEnabled());
        EXPECT_EQ(rig.find<QLineEdit>("Text1")->text() == "Completed.", c.box == kCompleted);
    }
}

TEST(Start, LeavesTheBarWhereTheWriteStopped) {
    CommandRig rig;
    rig.find<QPushButton>("cmdMorvek")->click();
    EXPECT_EQ(rig.find<QProgressBar>("bar")->value(), 0xFEC0);
}

// Every handler that starts an operation on the radio, called straight, as a click that
// arrives while another operation pumps events would call it.
void TryEveryOperation(FrmMain& window, const std::string& dropPath) {
    for (auto handler :
         {&FrmMain::Command1_Click, &FrmMain::cmbErase_Click, &FrmMain::cmbWrite_Click,
          &FrmMain::cmbEnd_Click, &FrmMain::Command4_Click, &FrmMain::Command7_Click,
          &FrmMain::Command6_Click, &FrmMain::Command5_Click, &FrmMain::Command11_Click,
          &FrmMain::Command8_Click, &FrmMain::Command9_Click, &FrmMain::Command10_Click,
          &FrmMain::cmdMorvek_Click, &FrmMain::Command2_Click}) {
        (window.*handler)();
    }
    for (int index = 0; index < 3; ++index) window.cmdMacro_Click(index);
    window.Text3_OLEDragDrop(*WindowRig::FileDrop({dropPath}));
}

TEST(OneOperationAtATime, OthersStartedDuringAWaitDoNothing) {
    struct Case {
        const char* button;
        Request waitingFor;
        std::vector<Request> requests;
        Shown box;
    };
    const std::vector<Case> cases{
        {"Command11", R::ConnectFlash, {R::ConnectFlash}, kConnected},
        {"Command9", R::WriteFrame, {R::WriteFrame}, kWriteOk},
        {"cmbWrite", R::DataLine, {R::DataLine, R::OkLine}, kWriteOk},
        {"cmdMacro(0)",
         R::EraseLine,
         {R::ConnectText0, R::EraseLine, R::DataLine, R::OkLine, R::EndLine},
         kFlashWritten},
        {"cmdMorvek", R::Identify, Join({{R::Identify}, kFlashSequence}), kCompleted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        CommandRig rig;
        const MemoryImage before = rig.window->Image();
        const QString nameBefore = rig.find<QLineEdit>("Text3")->text();
        const std::string otherImage = rig.WriteFile("other.s28", {S2Record(0xD0000, {0x77})});
        bool tried = false;
        rig.radio->onRequest = [&](Request kind) {
            if (kind != c.waitingFor || tried) return;
            tried = true;
            TryEveryOperation(*rig.window, otherImage);
            // The port choice and the speed stay free; they count from the next opening on.
            rig.window->mnuCom_Click(5);
            rig.find<QRadioButton>("optBPS(0)")->setChecked(true);
        };
        rig.find<QPushButton>(c.button)->click();

        EXPECT_TRUE(tried);
        EXPECT_EQ(rig.radio->heard, c.requests);
        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
        EXPECT_TRUE(rig.window->Image() == before);
        EXPECT_EQ(rig.find<QLineEdit>("Text3")->text(), nameBefore);
        EXPECT_FALSE(rig.window->OperationRunning());

        rig.find<QPushButton>("Command11")->click();
        ASSERT_FALSE(rig.port->openedWith.empty());
        EXPECT_EQ(rig.port->openedWith.back().port, 5);
        EXPECT_EQ(rig.port->openedWith.back().settings, "9600,n,8,1");
    }
}

TEST(PortLineTest, ShowsTheAnswerInText2) {
    struct Case {
        const char* pin;
        const char* action;
        std::optional<std::string> answer;
        std::string request;
        QString text2;
    };
    const std::vector<Case> cases{
        {"12", "port(3)", "\r\n03\r\n", "QK~P123\r", "H入力"},
        {"12", "port(0)", "\r\nOK\r\n", "QK~P120\r", "OK"},
        {"12", "port(1)", "\r\nNG\r\n", "QK~P121\r", "NG"},
        {"7", "port(2)", "\r\n02\r\n", "QK~P72\r", "L入力"},
        {"12", "port(3)", "\r\nRE\r\n", "QK~P123\r", "???"},
        {"12", "port(3)", std::nullopt, "QK~P123\r", "???"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        CommandRig rig;
        if (c.answer) {
            rig.radio->Answer(R::PortTest, *c.answer);
        } else {
            rig.radio->Silence(R::PortTest);
        }
        rig.find<QLineEdit>("txtPinNumber")->setText(c.pin);
        rig.find<QRadioButton>(c.action)->setChecked(true);
        auto* go = rig.find<QPushButton>("Command2");
        bool enabledDuringWait = true;
        rig.radio->onRequest = [&](Request) { enabledDuringWait = go->isEnabled(); };
        go->click();

        ASSERT_EQ(rig.port->writes.size(), 1u);
        EXPECT_EQ(std::string(rig.port->writes[0].begin(), rig.port->writes[0].end()), c.request);
        EXPECT_EQ(rig.find<QLineEdit>("Text2")->text(), c.text2);
        EXPECT_FALSE(enabledDuringWait);
        EXPECT_TRUE(go->isEnabled());
        EXPECT_TRUE(rig.box->shown.empty());
    }
}

}  // namespace
}  // namespace vq::test

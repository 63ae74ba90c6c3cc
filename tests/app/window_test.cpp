#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <set>

#include "embedded_image.h"
#include "srecord_reader.h"
#include "window_rig.h"

namespace vq::test {
namespace {

QSize ClientSize(const FrmMain& window, int heightTwips) {
    return {window.TwipsToPixelsX(FrmMain::kClientWidth), window.TwipsToPixelsY(heightTwips)};
}

std::set<QString> ShownControls(const FrmMain& window) {
    std::set<QString> shown;
    for (QWidget* control : window.centralWidget()->findChildren<QWidget*>()) {
        if (!control->objectName().isEmpty() && control->isVisibleTo(&window)) {
            shown.insert(control->objectName());
        }
    }
    return shown;
}

void DoubleClick(QWidget* control) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonDblClick, at, control->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control, &press);
}

const std::set<QString> kCompactControls{"Line1", "Label1", "cmdMorvek"};
const std::set<QString> kFlashButtons{"Command11", "Command8", "Command9", "Command10"};
const std::set<QString> kChecksumControls{"cmdCheckSum", "txtCsStt", "txtCsStp"};

std::set<QString> Union(std::set<QString> a, const std::set<QString>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

TEST(Startup, ShowsTheCompactProductionView) {
    WindowRig rig;
    const FrmMain& window = *rig.window;

    EXPECT_EQ(window.windowTitle(), "VQ-K38T");
    EXPECT_EQ(window.centralWidget()->size(), ClientSize(window, FrmMain::kCompactClientHeight));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window must not be resizable";
    EXPECT_EQ(ShownControls(window), kCompactControls);

    auto* label1 = rig.find<QLabel>("Label1");
    auto* start = rig.find<QPushButton>("cmdMorvek");
    EXPECT_EQ(label1->text(), "Ver 1.10RAV");
    EXPECT_EQ(start->text(), "Start");
    EXPECT_DOUBLE_EQ(label1->font().pointSizeF(), 14.25);
    EXPECT_DOUBLE_EQ(start->font().pointSizeF(), 21.75);
    auto* label2 = rig.find<QLabel>("Label2");
    EXPECT_DOUBLE_EQ(label2->font().pointSizeF(), 18.0);
    EXPECT_TRUE(label2->font().bold());

    // The progress bar fits in the compact area, right above the first hidden button row.
    const QRect client(QPoint(0, 0), window.centralWidget()->size());
    auto* bar = rig.find<QProgressBar>("bar");
    EXPECT_TRUE(client.contains(bar->geometry()));
    EXPECT_GT(rig.find<QPushButton>("Command11")->geometry().top(), client.bottom());
    EXPECT_EQ(bar->minimum(), 0xC000);
    EXPECT_EQ(bar->maximum(), 0xFFFF);

    // The fonts in use carry the Japanese and Greek glyphs of the captions.
    EXPECT_TRUE(QFontMetrics(start->font()).inFontUcs4(U'乙'));
    EXPECT_TRUE(QFontMetrics(start->font()).inFontUcs4(U'π'));
    EXPECT_TRUE(QFontMetrics(rig.find<QPushButton>("Command1")->font()).inFontUcs4(U'接'));
}

TEST(Startup, MemoryImageHoldsTheCarriedImage) {
    MemoryImage expected;
    for (const std::string_view line : EmbeddedImage::CarriedLines()) {
        ReadSRecordLine(line, expected);
    }
    WindowRig rig;
    EXPECT_EQ(rig.window->Embedded().EmbeddedLineCount,
              static_cast<std::int32_t>(EmbeddedImage::CarriedLines().size()));
    EXPECT_TRUE(rig.window->Image() == expected);

    // Startup clears what was there before it reads the carried lines.
    rig.LoadImage({S2Record(0xC0000, {0x01, 0x02})});
    ASSERT_FALSE(rig.window->Image() == expected);
    rig.window->Form_Load();
    EXPECT_TRUE(rig.window->Image() == expected);
}

TEST(Startup, SelectsCom1AndTheMenuSelectsOnePort) {
    WindowRig rig;
    QMenu* com = rig.window->menuBar()->findChild<QMenu*>("mnuSetting");
    ASSERT_NE(com, nullptr);
    EXPECT_EQ(com->title(), "COM");
    QMenu* ports = com->findChild<QMenu*>("mnuPort");
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->title(), "COM port");
    ASSERT_EQ(ports->actions().size(), 16);

    auto checked = [&] {
        std::vector<QString> names;
        for (QAction* item : ports->actions()) {
            if (item->isChecked()) names.push_back(item->text());
        }
        return names;
    };
    EXPECT_EQ(checked(), std::vector<QString>{"COM1"});
    EXPECT_EQ(rig.window->GetCOM(), 1);

    ports->actions()[11]->trigger();
    EXPECT_EQ(checked(), std::vector<QString>{"COM12"});
    EXPECT_EQ(rig.window->GetCOM(), 12);
    ports->actions()[11]->trigger();
    EXPECT_EQ(checked(), std::vector<QString>{"COM12"});

    // The next operation opens the chosen port.
    rig.window->Command11_Click();
    ASSERT_FALSE(rig.port->openedWith.empty());
    EXPECT_EQ(rig.port->openedWith.back().port, 12);
}

TEST(Reveal, FifthDoubleClickOnLabel2ShowsTheFlashButtonsOnce) {
    WindowRig rig;
    auto* label2 = rig.find<QLabel>("Label2");
    const QSize compact = ClientSize(*rig.window, FrmMain::kCompactClientHeight);
    const QSize full = ClientSize(*rig.window, FrmMain::kFullClientHeight);
    const std::set<QString> revealed = Union(kCompactControls, kFlashButtons);

    for (int click = 1; click <= 9; ++click) {
        DoubleClick(label2);
        const bool fifthOrLater = click >= 5;
        EXPECT_EQ(ShownControls(*rig.window), fifthOrLater ? revealed : kCompactControls)
            << click << " clicks";
        EXPECT_EQ(rig.window->centralWidget()->size(), fifthOrLater ? full : compact)
            << click << " clicks";
    }

    // Later clicks do not repeat the reveal.
    rig.find<QPushButton>("Command8")->hide();
    DoubleClick(label2);
    EXPECT_TRUE(rig.find<QPushButton>("Command8")->isHidden());
}

TEST(Reveal, Text1ShowsButtonsAndChecksumFromTheFifthDoubleClickOn) {
    WindowRig rig;
    auto* text1 = rig.find<QLineEdit>("Text1");
    const QSize compact = ClientSize(*rig.window, FrmMain::kCompactClientHeight);
    const std::set<QString> revealed =
        Union(Union(kCompactControls, kFlashButtons), kChecksumControls);

    for (int click = 1; click <= 4; ++click) DoubleClick(text1);
    EXPECT_EQ(ShownControls(*rig.window), kCompactControls);
    DoubleClick(text1);
    EXPECT_EQ(ShownControls(*rig.window), revealed);
    EXPECT_EQ(rig.window->centralWidget()->size(), compact);

    // Every later double-click reveals again, also past the 16-bit counter's top.
    int done = 5;
    for (int clicks : {6, 32767, 32800}) {
        rig.find<QPushButton>("cmdCheckSum")->hide();
        rig.find<QPushButton>("Command9")->hide();
        while (done < clicks - 1) {
            rig.window->Text1_DblClick();
            ++done;
        }
        DoubleClick(text1);
        ++done;
        EXPECT_EQ(ShownControls(*rig.window), revealed) << clicks << " clicks";
    }
}

TEST(StartCaption, FollowsTheFullRangeWordTypedIntoTxtPinNumber) {
    WindowRig rig;
    auto* pin = rig.find<QLineEdit>("txtPinNumber");
    auto* start = rig.find<QPushButton>("cmdMorvek");
    const QString word = "KESTRAL";
    for (int typed = 1; typed <= word.size(); ++typed) {
        QTest::keyClicks(pin, word.mid(typed - 1, 1));
        EXPECT_EQ(start->text(), typed < word.size() ? "Morvek" : "乙π") << typed;
    }
    struct Case {
        QString text;
        QString caption;
    };
    for (const Case& c : std::vector<Case>{{"KESTRALX", "Morvek"},
                                           {"KESTRAL", "乙π"},
                                           {"kESTRAL", "Morvek"},
                                           {"KESTRAl", "Morvek"},
                                           {" KESTRAL", "Morvek"},
                                           {"", "Morvek"}}) {
        pin->setText(c.text);
        EXPECT_EQ(start->text(), c.caption) << c.text.toStdString();
    }
}

TEST(Snapshot, CompactAndRevealedWindow) {
    WindowRig rig;
    rig.window->show();
    const QString folder = QStringLiteral(VQ_SNAPSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(rig.window->grab().save(folder + "/compact.png"));
    for (int click = 0; click < 5; ++click) rig.window->Label2_DblClick();
    QApplication::processEvents();
    EXPECT_TRUE(rig.window->grab().save(folder + "/revealed.png"));
    rig.find<QLineEdit>("txtPinNumber")->setText("KESTRAL");
    EXPECT_TRUE(rig.window->grab().save(folder + "/full_range.png"));

    // Every control at once on an area wide enough for all of them, to look at the captions
    // of the service panel; the tool itself never shows this view.
    for (QWidget* control : rig.window->centralWidget()->findChildren<QWidget*>()) control->show();
    rig.window->centralWidget()->setFixedSize(rig.window->TwipsToPixelsX(8600),
                                              rig.window->TwipsToPixelsY(3960));
    QApplication::processEvents();
    EXPECT_TRUE(rig.window->grab().save(folder + "/panel.png"));
}

}  // namespace
}  // namespace vq::test

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QPushButton>

#include "window_rig.h"

namespace vq::test {
namespace {

using Shown = RecordingMessageBox::Shown;

QString Native(const std::string& path) {
    return QDir::toNativeSeparators(QString::fromStdString(path));
}

TEST(FileDrop, LoadsTheFirstDroppedFileAndReportsFailures) {
    struct Case {
        const char* name;
        std::vector<std::string> firstFile;  // empty: the file does not exist
        std::vector<Shown> boxes;
        bool loaded;
    };
    const std::vector<Case> cases{
        {"S-records", {S2Record(0xD1230, {0x5A})}, {}, true},
        {"third line empty",
         {S2Record(0xD1230, {0x5A}), S2Record(0xD1240, {0x5B}), ""},
         {{"Error Code = 9 ; line number = 3", 48, "Error"}},
         false},
        {"missing file", {}, {{"File Open Error", 16, "ERROR"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        const std::string first = c.firstFile.empty()
                                      ? rig.scratch.filePath("absent.s28").toStdString()
                                      : rig.WriteFile("first.s28", c.firstFile);
        const std::string second = rig.WriteFile("second.s28", {S2Record(0xE0000, {0x11})});
        bool hourglassWithBox = false;
        rig.box->onShow = [&] {
            hourglassWithBox = rig.window->cursor().shape() == Qt::WaitCursor;
        };
        rig.window->Text3_OLEDragDrop(*WindowRig::FileDrop({first, second}));

        EXPECT_EQ(rig.find<QLineEdit>("Text3")->text(), Native(first));
        EXPECT_EQ(rig.box->shown, c.boxes);
        EXPECT_EQ(hourglassWithBox, !c.boxes.empty());
        EXPECT_NE(rig.window->cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(rig.window->Image().CellAt(0xD1230) == 0x5A, c.loaded);
        EXPECT_NE(rig.window->Image().CellAt(0xE0000), 0x11) << "the second file must not be read";
    }
}

TEST(FileDrop, ADropWithoutAFileNameDoesNothing) {
    WindowRig rig;
    const MemoryImage before = rig.window->Image();
    QMimeData text;
    text.setText("S2050E00000AE2");
    rig.window->Text3_OLEDragDrop(text);
    QMimeData web;
    web.setUrls({QUrl("https://example.com/image.s28")});
    rig.window->Text3_OLEDragDrop(web);

    EXPECT_TRUE(rig.find<QLineEdit>("Text3")->text().isEmpty());
    EXPECT_TRUE(rig.box->shown.empty());
    EXPECT_TRUE(rig.window->Image() == before);
}

TEST(FileDrop, AFileDroppedOnText3ReachesTheHandler) {
    WindowRig rig;
    auto* text3 = rig.find<QLineEdit>("Text3");
    const std::string path = rig.WriteFile("dropped.mot", {S2Record(0xD0000, {0x42})});
    const auto data = WindowRig::FileDrop({path});
    const QPointF at(5, 5);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text3, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text3, &drop);

    EXPECT_EQ(text3->text(), Native(path));
    EXPECT_TRUE(rig.box->shown.empty());
    EXPECT_EQ(rig.window->Image().CellAt(0xD0000), 0x42);
}

TEST(CheckSum, ShowsTheSumOfTheRangeOrRefusesAddressesOutsideTheImage) {
    struct Case {
        const char* start;
        const char* stop;
        Shown box;
    };
    // One cell at 0xE0000 holds 0x0A; every other cell is erased.
    const std::vector<Case> cases{
        {"E0000", "FFFFF", {"1FDFF0B", 0, "CHECK SUM"}},
        {"C0000", "FFFFF", {"3FBFF0B", 0, "CHECK SUM"}},
        {"E0000", "E0000", {"A", 0, "CHECK SUM"}},
        {"e0000", "e0001", {"109", 0, "CHECK SUM"}},
        {"FFFFF", "E0000", {"0", 0, "CHECK SUM"}},
        {"00000", "FFFFF", {"Address out of range", 48, "CHECK SUM"}},
        {"E0000", "100000", {"Address out of range", 48, "CHECK SUM"}},
    };
    WindowRig rig;
    rig.LoadImage({S2Record(0xE0000, {0x0A})});
    auto* button = rig.find<QPushButton>("cmdCheckSum");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + ".." + c.stop);
        rig.box->shown.clear();
        rig.find<QLineEdit>("txtCsStt")->setText(c.start);
        rig.find<QLineEdit>("txtCsStp")->setText(c.stop);
        button->click();
        EXPECT_EQ(rig.box->shown, std::vector<Shown>{c.box});
    }
}

TEST(CheckSum, StartsFromTheInitialRange) {
    WindowRig rig;
    rig.LoadImage({});
    rig.find<QPushButton>("cmdCheckSum")->click();
    EXPECT_EQ(rig.box->shown, (std::vector<Shown>{{"1FE0000", 0, "CHECK SUM"}}));
}

}  // namespace
}  // namespace vq::test

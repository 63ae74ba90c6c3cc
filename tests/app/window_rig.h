#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fake_radio.h"
#include "fake_serial_port.h"
#include "fake_window.h"
#include "file_text_input.h"
#include "frm_main.h"
#include "srecord_text.h"
#include "virtual_clock.h"

namespace vq::test {

inline void PrintTo(const RecordingMessageBox::Shown& box, std::ostream* out) {
    *out << '"' << box.prompt << "\" style " << box.style << " title \"" << box.title << '"';
}

// A message box that also lets a test look at the window while the box is up.
class ObservingMessageBox : public RecordingMessageBox {
  public:
    std::function<void()> onShow;
    void show(const std::string& prompt, int style, const std::string& title) override {
        RecordingMessageBox::show(prompt, style, title);
        if (onShow) onShow();
    }
};

// The main window on fakes: a serial port with a radio behind it, virtual time, a recording
// message box and real files in a scratch folder.
struct WindowRig {
    VirtualClock clock;
    FakeSerialPort* port = nullptr;
    ObservingMessageBox* box = nullptr;
    std::unique_ptr<FrmMain> window;
    std::unique_ptr<FakeRadio> radio;
    QTemporaryDir scratch;

    WindowRig() {
        PlatformObjects platform;
        auto fakePort = std::make_unique<FakeSerialPort>(clock);
        port = fakePort.get();
        auto fakeBox = std::make_unique<ObservingMessageBox>();
        box = fakeBox.get();
        platform.serialPort = std::move(fakePort);
        platform.timer = std::make_unique<VirtualTimer>(clock);
        platform.quietTimer = std::make_unique<VirtualTimer>(clock);
        platform.pump = std::make_unique<VirtualPump>(clock);
        platform.messageBox = std::move(fakeBox);
        platform.fileInput = std::make_unique<FileTextInput>();
        window = std::make_unique<FrmMain>(std::move(platform));
        radio = std::make_unique<FakeRadio>(*port);
    }

    template <class Control>
    Control* find(const char* name) const {
        auto* control = window->findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Writes a file into the scratch folder and returns its path.
    std::string WriteFile(const std::string& name, const std::vector<std::string>& lines) const {
        const QString path = scratch.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (const std::string& line : lines) file.write((line + "\r\n").c_str());
        return path.toStdString();
    }

    static std::unique_ptr<QMimeData> FileDrop(const std::vector<std::string>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        }
        data->setUrls(urls);
        return data;
    }

    // Replaces the image by dropping an S-record file with these lines on Text3.
    void LoadImage(const std::vector<std::string>& lines) {
        window->Text3_OLEDragDrop(*FileDrop({WriteFile("image.s28", lines)}));
        ASSERT_TRUE(box->shown.empty()) << box->shown.front().prompt;
    }
};

}  // namespace vq::test

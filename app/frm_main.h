#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "embedded_image.h"
#include "flash_programmer.h"
#include "link.h"
#include "memory_image.h"
#include "operator_commands.h"
#include "platform_objects.h"
#include "window_controls.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace vq {

// The tool's one window. It owns every piece of state for the whole run (the memory image,
// the carried lines, the link and the flash operations, the platform objects) and wires its
// controls to the handlers. Controls carry their historic names, also as object names.
class FrmMain : public QMainWindow, public WindowControls {
    Q_OBJECT

  public:
    static constexpr int kComPorts = 16;
    static constexpr int kRevealClicks = 5;
    // Client area in twips: the production view, and the whole panel after the first reveal.
    static constexpr int kClientWidth = 2400;
    static constexpr int kCompactClientHeight = 1665;
    static constexpr int kFullClientHeight = 3300;

    explicit FrmMain(PlatformObjects platform, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Startup; the constructor runs it once, before the window can be shown.
    void Form_Load();

    // Window behaviours that belong to no operation.
    void Label2_DblClick();
    void Text1_DblClick();
    void txtPinNumber_Change();
    void mnuCom_Click(int index);

    // The operations on the radio read and write these while they run.
    int GetCOM() const override;
    bool optBPS(int index) const override;
    bool portAction(int index) const override;
    std::string txtPinNumber() const override;
    void setText1(const std::string& text) override;
    void setBarValue(int value) override;

    // Operator commands, one operation each.
    void Command1_Click();
    void cmbErase_Click();
    void cmbWrite_Click();
    void cmbEnd_Click();
    void Command4_Click();
    void Command7_Click();
    void Command6_Click();
    void Command5_Click();
    void Command11_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();

    // The programming sequences, and Start: identification, then sequence 2.
    void cmdMacro_Click(int index);
    void cmdMorvek_Click();

    void Command2_Click();
    void Text3_OLEDragDrop(const QMimeData& data);
    void cmdCheckSum_Click();

    const MemoryImage& Image() const { return *m_image; }
    const EmbeddedImage& Embedded() const { return *m_embedded; }
    // True while an operation on the radio waits; other operations are refused meanwhile.
    bool OperationRunning() const { return m_operationRunning; }

    // Twips to device-independent pixels at the screen's logical resolution.
    int TwipsToPixelsX(int twips) const;
    int TwipsToPixelsY(int twips) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Busy { ButtonDisabled, Hourglass };

    void CreateMenu();
    void CreateControls();
    void ConnectHandlers();
    void SetClientHeight(int twips);
    QRect TwipsRect(int left, int top, int width, int height) const;

    // Runs body unless another operation on the radio is in progress.
    void RunExclusive(const std::function<void()>& body);
    // One service button: its step in its mode, with the button's one message.
    void RunCommand(QPushButton* button, Busy busy, Step step, std::int16_t mode);
    // cmdMacro(index) with its one message; Start runs it too.
    void RunMacro(int index);
    // "OK" with no icon on success, "NG" with the exclamation icon on failure.
    void Show(const CommandOutcome& outcome);

    PlatformObjects m_platform;
    std::unique_ptr<MemoryImage> m_image = std::make_unique<MemoryImage>();
    std::unique_ptr<EmbeddedImage> m_embedded = std::make_unique<EmbeddedImage>();
    Link m_link;
    FlashProgrammer m_programmer;

    std::int16_t m_label2DblClickCount = 0;
    std::int16_t m_text1DblClickCount = 0;
    bool m_operationRunning = false;

    QWidget* m_client = nullptr;
    QMenu* mnuSetting = nullptr;
    QMenu* mnuPort = nullptr;
    std::array<QAction*, kComPorts> mnuCom{};

    QFrame* Line1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdMorvek = nullptr;
    QProgressBar* bar = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command10 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QRadioButton*, 3> optBPSButtons{};
    QGroupBox* Frame2 = nullptr;
    std::array<QRadioButton*, 4> port{};
    QLineEdit* txtPinNumberBox = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* cmdCheckSum = nullptr;
    QLineEdit* txtCsStt = nullptr;
    QLineEdit* txtCsStp = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmbErase = nullptr;
    QPushButton* cmbWrite = nullptr;
    QPushButton* cmbEnd = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command5 = nullptr;
    std::array<QPushButton*, 3> cmdMacro{};
};

}  // namespace vq

#include "frm_main.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <limits>

#include "frames.h"
#include "image_loader.h"
#include "range_checksum.h"
#include "reply_codes.h"

namespace vq {
namespace {

constexpr double kTwipsPerInch = 1440.0;

// The captions are Japanese and were laid out for MS PGothic; where it is missing, a Gothic
// face with Japanese glyphs takes its place.
QFont GothicFont(double points, bool bold = false) {
    QFont font;
    font.setFamilies({"MS PGothic", QStringLiteral("ＭＳ Ｐゴシック"), "Noto Sans CJK JP",
                      "Source Han Sans JP", "IPAPGothic", "VL PGothic", "Yu Gothic", "Meiryo"});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

constexpr double kDefaultPoints = 9.0;
constexpr double kLabel1Points = 14.25;
constexpr double kStartPoints = 21.75;
constexpr double kLabel2Points = 18.0;

const char* const kFullRangeCaption = "乙π";
const char* const kNormalCaption = "Morvek";

}  // namespace

FrmMain::FrmMain(PlatformObjects platform, QWidget* parent)
    : QMainWindow(parent),
      m_platform(std::move(platform)),
      m_link(*m_platform.serialPort, *m_platform.timer, *m_platform.quietTimer, *m_platform.pump,
             *this),
      m_programmer(m_link, *m_image) {
    setWindowTitle("VQ-K38T");
    setFont(GothicFont(kDefaultPoints));
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    CreateMenu();
    CreateControls();
    ConnectHandlers();
    // The window follows the fixed size of its client area and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    Form_Load();
}

FrmMain::~FrmMain() = default;

int FrmMain::TwipsToPixelsX(int twips) const {
    return qRound(twips * logicalDpiX() / kTwipsPerInch);
}

int FrmMain::TwipsToPixelsY(int twips) const {
    return qRound(twips * logicalDpiY() / kTwipsPerInch);
}

QRect FrmMain::TwipsRect(int left, int top, int width, int height) const {
    return {TwipsToPixelsX(left), TwipsToPixelsY(top), TwipsToPixelsX(width),
            TwipsToPixelsY(height)};
}

void FrmMain::SetClientHeight(int twips) {
    m_client->setFixedSize(TwipsToPixelsX(kClientWidth), TwipsToPixelsY(twips));
    // The window's own size follows at once, not only when it is next shown.
    layout()->activate();
}

void FrmMain::CreateMenu() {
    mnuSetting = menuBar()->addMenu("COM");
    mnuSetting->setObjectName("mnuSetting");
    mnuPort = mnuSetting->addMenu("COM port");
    mnuPort->setObjectName("mnuPort");
    for (int index = 1; index <= kComPorts; ++index) {
        QAction* item = mnuPort->addAction(QString("COM%1").arg(index));
        item->setObjectName(QString("mnuCom(%1)").arg(index));
        item->setCheckable(true);
        mnuCom[static_cast<std::size_t>(index - 1)] = item;
    }
}

void FrmMain::CreateControls() {
    m_client = new QWidget(this);
    m_client->setObjectName("client");
    setCentralWidget(m_client);

    auto place = [this](QWidget* widget, const char* name, QRect geometry, bool shown) {
        widget->setObjectName(name);
        widget->setGeometry(geometry);
        widget->setVisible(shown);
    };
    auto button = [&](QWidget* parent, const char* name, const QString& caption, QRect geometry) {
        auto* control = new QPushButton(caption, parent);
        place(control, name, geometry, false);
        return control;
    };
    auto textBox = [&](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* control = new QLineEdit(text, parent);
        place(control, name, geometry, false);
        return control;
    };
    auto option = [&](QWidget* parent, const char* name, const QString& caption, QRect geometry) {
        auto* control = new QRadioButton(caption, parent);
        control->setObjectName(name);
        control->setGeometry(geometry);
        return control;
    };

    Line1 = new QFrame(m_client);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    place(Line1, "Line1", QRect(TwipsToPixelsX(120), 0, TwipsToPixelsX(2280 - 120) + 1, 1), true);

    Label1 = new QLabel("Ver 1.10RAV", m_client);
    Label1->setFont(GothicFont(kLabel1Points));
    place(Label1, "Label1", TwipsRect(360, 240, 1695, 375), true);

    cmdMorvek = new QPushButton("Start", m_client);
    cmdMorvek->setFont(GothicFont(kStartPoints));
    place(cmdMorvek, "cmdMorvek", TwipsRect(480, 720, 1455, 495), true);

    bar = new QProgressBar(m_client);
    bar->setRange(0xC000, 0xFFFF);
    bar->setValue(0xC000);
    bar->setTextVisible(false);
    place(bar, "bar", TwipsRect(120, 1320, 2175, 255), false);

    Label2 = new QLabel(m_client);
    Label2->setFont(GothicFont(kLabel2Points, true));
    place(Label2, "Label2", TwipsRect(120, 720, 375, 375), false);

    Command11 = button(m_client, "Command11", "Connect", TwipsRect(720, 1680, 1095, 375));
    Command8 = button(m_client, "Command8", "Erase", TwipsRect(720, 2040, 1095, 375));
    Command9 = button(m_client, "Command9", "Write", TwipsRect(720, 2400, 1095, 375));
    Command10 = button(m_client, "Command10", "Disconnect", TwipsRect(720, 2760, 1095, 375));

    Text1 = textBox(m_client, "Text1", "", TwipsRect(1560, 2640, 1095, 270));
    Text2 = textBox(m_client, "Text2", "Text2", TwipsRect(2640, 2640, 2775, 270));
    Text3 = textBox(m_client, "Text3", "", TwipsRect(840, 960, 6615, 375));

    Frame1 = new QGroupBox("baud rate", m_client);
    place(Frame1, "Frame1", TwipsRect(1920, 1560, 1455, 1095), false);
    optBPSButtons[0] = option(Frame1, "optBPS(0)", "9600", TwipsRect(360, 240, 855, 255));
    optBPSButtons[1] = option(Frame1, "optBPS(1)", "38400", TwipsRect(360, 480, 855, 255));
    optBPSButtons[2] = option(Frame1, "optBPS(2)", "57600", TwipsRect(360, 720, 855, 255));
    optBPSButtons[2]->setChecked(true);

    Frame2 = new QGroupBox("ポートの制御", m_client);
    place(Frame2, "Frame2", TwipsRect(3600, 960, 2535, 1335), false);
    port[0] = option(Frame2, "port(0)", "L出力", TwipsRect(240, 240, 855, 255));
    port[1] = option(Frame2, "port(1)", "H出力", TwipsRect(240, 480, 855, 255));
    port[2] = option(Frame2, "port(2)", "入力", TwipsRect(240, 720, 855, 255));
    port[3] = option(Frame2, "port(3)", "読む", TwipsRect(240, 960, 855, 255));
    port[3]->setChecked(true);
    txtPinNumberBox = new QLineEdit(Frame2);
    txtPinNumberBox->setObjectName("txtPinNumber");
    txtPinNumberBox->setGeometry(TwipsRect(1200, 240, 1095, 375));
    Command2 = new QPushButton("GO", Frame2);
    Command2->setObjectName("Command2");
    Command2->setGeometry(TwipsRect(1200, 720, 1095, 495));

    cmdCheckSum = button(m_client, "cmdCheckSum", "CS", TwipsRect(3600, 120, 495, 495));
    txtCsStt = textBox(m_client, "txtCsStt", "E0000", TwipsRect(4200, 120, 615, 495));
    txtCsStp = textBox(m_client, "txtCsStp", "FFFFF", TwipsRect(4920, 120, 615, 495));

    Command1 = button(m_client, "Command1", "接続", TwipsRect(6720, 120, 975, 375));
    cmbErase = button(m_client, "cmbErase", "消去", TwipsRect(6720, 480, 975, 375));
    cmbWrite = button(m_client, "cmbWrite", "書き込み", TwipsRect(6720, 840, 975, 375));
    cmbEnd = button(m_client, "cmbEnd", "切断", TwipsRect(6720, 1200, 975, 375));
    Command4 = button(m_client, "Command4", "接続", TwipsRect(6720, 1680, 975, 375));
    Command7 = button(m_client, "Command7", "消去", TwipsRect(6720, 2040, 975, 375));
    Command6 = button(m_client, "Command6", "書き込み", TwipsRect(6720, 2400, 975, 375));
    Command5 = button(m_client, "Command5", "切断", TwipsRect(6720, 2760, 975, 375));

    cmdMacro[0] = button(m_client, "cmdMacro(0)", "マ", TwipsRect(7800, 120, 615, 1455));
    cmdMacro[1] = button(m_client, "cmdMacro(1)", "マ", TwipsRect(7800, 1680, 615, 1455));
    cmdMacro[2] = button(m_client, "cmdMacro(2)", "マ", TwipsRect(120, 3240, 615, 615));

    // The file name box takes only what the drop handler does with a dropped file.
    Text3->setAcceptDrops(true);
    Text3->installEventFilter(this);
    Label2->installEventFilter(this);
    Text1->installEventFilter(this);
}

void FrmMain::ConnectHandlers() {
    for (int index = 1; index <= kComPorts; ++index) {
        connect(mnuCom[static_cast<std::size_t>(index - 1)], &QAction::triggered, this,
                [this, index] { mnuCom_Click(index); });
    }
    connect(txtPinNumberBox, &QLineEdit::textChanged, this, [this] { txtPinNumber_Change(); });

    const std::array<std::pair<QPushButton*, void (FrmMain::*)()>, 15> clicks{{
        {Command1, &FrmMain::Command1_Click},
        {cmbErase, &FrmMain::cmbErase_Click},
        {cmbWrite, &FrmMain::cmbWrite_Click},
        {cmbEnd, &FrmMain::cmbEnd_Click},
        {Command4, &FrmMain::Command4_Click},
        {Command7, &FrmMain::Command7_Click},
        {Command6, &FrmMain::Command6_Click},
        {Command5, &FrmMain::Command5_Click},
        {Command11, &FrmMain::Command11_Click},
        {Command8, &FrmMain::Command8_Click},
        {Command9, &FrmMain::Command9_Click},
        {Command10, &FrmMain::Command10_Click},
        {cmdMorvek, &FrmMain::cmdMorvek_Click},
        {Command2, &FrmMain::Command2_Click},
        {cmdCheckSum, &FrmMain::cmdCheckSum_Click},
    }};
    for (const auto& [control, handler] : clicks) {
        connect(control, &QPushButton::clicked, this, handler);
    }
    for (int index = 0; index < 3; ++index) {
        connect(cmdMacro[static_cast<std::size_t>(index)], &QPushButton::clicked, this,
                [this, index] { cmdMacro_Click(index); });
    }
}

void FrmMain::Form_Load() {
    mnuCom_Click(1);
    m_text1DblClickCount = 0;
    m_image->ClearImage();
    m_embedded->FillEmbeddedLines();
    m_embedded->ReadInto(*m_image);
    SetClientHeight(kCompactClientHeight);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Label2) Label2_DblClick();
        if (watched == Text1) Text1_DblClick();
        return false;
    }
    if (watched == Text3) {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (drag->mimeData()->hasUrls()) {
                    drag->acceptProposedAction();
                } else {
                    drag->ignore();
                }
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                drop->acceptProposedAction();
                Text3_OLEDragDrop(*drop->mimeData());
                return true;
            }
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::Label2_DblClick() {
    if (m_label2DblClickCount >= kRevealClicks) return;
    ++m_label2DblClickCount;
    if (m_label2DblClickCount < kRevealClicks) return;
    for (QPushButton* control : {Command8, Command9, Command10, Command11}) {
        control->setVisible(true);
    }
    SetClientHeight(kFullClientHeight);
}

void FrmMain::Text1_DblClick() {
    // Counts on for as long as the tool runs, but stops at the top instead of wrapping.
    if (m_text1DblClickCount < std::numeric_limits<std::int16_t>::max()) ++m_text1DblClickCount;
    if (m_text1DblClickCount < kRevealClicks) return;
    for (QWidget* control : std::initializer_list<QWidget*>{
             Command11, Command8, Command9, Command10, cmdCheckSum, txtCsStt, txtCsStp}) {
        control->setVisible(true);
    }
}

void FrmMain::txtPinNumber_Change() {
    cmdMorvek->setText(IsFullRangeWord(txtPinNumber()) ? kFullRangeCaption : kNormalCaption);
}

void FrmMain::mnuCom_Click(int index) {
    // Exactly one item stays checked, so an index without an item changes nothing.
    if (index < 1 || index > kComPorts) return;
    for (QAction* item : mnuCom) item->setChecked(false);
    mnuCom[static_cast<std::size_t>(index - 1)]->setChecked(true);
}

int FrmMain::GetCOM() const {
    for (int index = 1; index <= kComPorts; ++index) {
        if (mnuCom[static_cast<std::size_t>(index - 1)]->isChecked()) return index;
    }
    return 0;
}

bool FrmMain::optBPS(int index) const {
    return index >= 0 && index < static_cast<int>(optBPSButtons.size()) &&
           optBPSButtons[static_cast<std::size_t>(index)]->isChecked();
}

bool FrmMain::portAction(int index) const {
    return index >= 0 && index < static_cast<int>(port.size()) &&
           port[static_cast<std::size_t>(index)]->isChecked();
}

std::string FrmMain::txtPinNumber() const {
    return txtPinNumberBox->text().toStdString();
}

void FrmMain::setText1(const std::string& text) {
    Text1->setText(QString::fromStdString(text));
}

void FrmMain::setBarValue(int value) {
    bar->setValue(value);
}

void FrmMain::Show(const CommandOutcome& outcome) {
    if (outcome.success) {
        m_platform.messageBox->show(outcome.message, MessageBox::kStyleNone, "OK");
    } else {
        m_platform.messageBox->show(outcome.message, MessageBox::kStyleExclamation, "NG");
    }
}

void FrmMain::RunExclusive(const std::function<void()>& body) {
    // The port, the timer and the receive buffer exist once: an operation started from
    // inside another one's wait would tear both apart.
    if (m_operationRunning) return;
    m_operationRunning = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{m_operationRunning};
    body();
}

void FrmMain::RunCommand(QPushButton* button, Busy busy, Step step, std::int16_t mode) {
    RunExclusive([&] {
        if (busy == Busy::ButtonDisabled) {
            button->setEnabled(false);
        } else {
            setCursor(Qt::WaitCursor);
        }
        Show(RunOperatorCommand(m_link, m_programmer, step, mode));
        if (busy == Busy::ButtonDisabled) {
            button->setEnabled(true);
        } else {
            unsetCursor();
        }
    });
}

void FrmMain::Command1_Click() {
    RunCommand(Command1, Busy::ButtonDisabled, Step::Connect, 0);
}
void FrmMain::cmbErase_Click() {
    RunCommand(cmbErase, Busy::ButtonDisabled, Step::Erase, 0);
}
void FrmMain::cmbWrite_Click() {
    RunCommand(cmbWrite, Busy::Hourglass, Step::Write, 0);
}
void FrmMain::cmbEnd_Click() {
    RunCommand(cmbEnd, Busy::ButtonDisabled, Step::Disconnect, 0);
}
void FrmMain::Command4_Click() {
    RunCommand(Command4, Busy::ButtonDisabled, Step::Connect, 1);
}
void FrmMain::Command7_Click() {
    RunCommand(Command7, Busy::ButtonDisabled, Step::Erase, 1);
}
void FrmMain::Command6_Click() {
    RunCommand(Command6, Busy::Hourglass, Step::Write, 1);
}
void FrmMain::Command5_Click() {
    RunCommand(Command5, Busy::ButtonDisabled, Step::Disconnect, 1);
}
void FrmMain::Command11_Click() {
    RunCommand(Command11, Busy::ButtonDisabled, Step::Connect, 2);
}
void FrmMain::Command8_Click() {
    RunCommand(Command8, Busy::ButtonDisabled, Step::Erase, 2);
}
void FrmMain::Command9_Click() {
    RunCommand(Command9, Busy::Hourglass, Step::Write, 2);
}
void FrmMain::Command10_Click() {
    RunCommand(Command10, Busy::ButtonDisabled, Step::Disconnect, 2);
}

void FrmMain::RunMacro(int index) {
    if (index < 0 || index >= static_cast<int>(cmdMacro.size())) return;
    QPushButton* button = cmdMacro[static_cast<std::size_t>(index)];
    button->setEnabled(false);
    const CommandOutcome outcome =
        RunSequence(m_link, m_programmer, static_cast<std::int16_t>(index));
    Show(outcome);
    if (outcome.success && index == 2) setText1("Completed.");
    button->setEnabled(true);
}

void FrmMain::cmdMacro_Click(int index) {
    RunExclusive([&] { RunMacro(index); });
}

void FrmMain::cmdMorvek_Click() {
    RunExclusive([&] {
        cmdMorvek->setEnabled(false);
        bar->setValue(bar->minimum());
        bar->setVisible(true);
        const CommandOutcome identified =
            RunOperatorCommand(m_link, m_programmer, Step::Identify, 2);
        if (identified.success) {
            RunMacro(2);
        } else {
            Show(identified);
        }
        bar->setVisible(false);
        cmdMorvek->setEnabled(true);
    });
}

void FrmMain::Command2_Click() {
    RunExclusive([&] {
        Command2->setEnabled(false);
        Text2->setText(QString::fromStdString(PortLineResultText(m_link.TestPortLine())));
        Command2->setEnabled(true);
    });
}

void FrmMain::Text3_OLEDragDrop(const QMimeData& data) {
    // A load replaces the image that a running write is reading from.
    if (m_operationRunning) return;
    QString name;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            name = QDir::toNativeSeparators(url.toLocalFile());
            break;
        }
    }
    if (name.isEmpty()) return;
    Text3->setText(name);
    setCursor(Qt::WaitCursor);
    const LoadOutcome outcome =
        LoadImageFile(Text3->text().toStdString(), *m_platform.fileInput, *m_image);
    if (outcome.kind == LoadOutcome::Kind::RefusedLine) {
        m_platform.messageBox->show(outcome.message(), MessageBox::kStyleExclamation, "Error");
    } else if (outcome.kind == LoadOutcome::Kind::FileError) {
        m_platform.messageBox->show(outcome.message(), MessageBox::kStyleCritical, "ERROR");
    }
    unsetCursor();
}

void FrmMain::cmdCheckSum_Click() {
    const auto sum =
        RangeChecksum(*m_image, txtCsStt->text().toStdString(), txtCsStp->text().toStdString());
    if (sum) {
        m_platform.messageBox->show(ChecksumText(*sum), MessageBox::kStyleNone, "CHECK SUM");
    } else {
        m_platform.messageBox->show("Address out of range", MessageBox::kStyleExclamation,
                                    "CHECK SUM");
    }
}

}  // namespace vq

#include "ui/options/frmOptions.h"

#include "link/ComSupport.h"
#include "platform/Ports.h"
#include "shell/MainModule.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

struct Caption {
    const char* control;
    const char* japanese;
    const char* english;
};

// Every caption of the dialog in both languages; "frmOptions" is the window title and
// "OptionTab(n)" the caption of tab n.
constexpr Caption kCaptions[] = {
    {"frmOptions", "ｵﾌﾟｼｮﾝ", "Options"},
    {"OptionTab(0)", "動作設定", "OPERATION"},
    {"OptionTab(1)", "通信設定", "COMMUNICATION"},
    {"cmdOK", "OK", "OK"},
    {"cmdCancel", "ｷｬﾝｾﾙ", "CANCEL"},
    {"cmdApply", "適用(&A)", "APPLY"},
    {"SysSetupTitle", "設定プログラムの動作条件を設定します", "Setting of QMX-001 Configuration"},
    {"SysSetupLabel(0)", "QMX-001との接続時に設定値を読み込む", "Connect with load config data"},
    {"SysSetupLabel(1)", "QMX-001への設定値書込み時に確認する", "Check value writing of QMX-001"},
    {"SysSetupLabel(2)", "読込／書込時にQMX-001のシリアル番号を確認する",
     "It checks at connect at QMX-001"},
    {"ComSetupTitle", "QMX-001との通信条件を設定します", "Setting of PC COM port"},
    {"ComPortFrame", "通信ポート", "COM PORT"},
    {"ComSpeedFrame", "通信速度", "BAUD RATE"},
};

constexpr const char* kSpeedCaptions[] = {" 4800", " 9600", "19200", "38400"};

QString Indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QFrame* HorizontalLine(const QString& name, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* Heading(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// Which device "COM n" opens on this machine, and whether it is there.
QString PortTooltip(int portNumber, const QList<platform::SerialDevice>& present) {
    const QString device = platform::ComPortDeviceName(portNumber);
    const bool there = platform::DevicePresent(device, present);
    return device + QStringLiteral(" (") +
           (there ? MainModule::JaEn(QStringLiteral("接続されています"), QStringLiteral("present"))
                  : MainModule::JaEn(QStringLiteral("見つかりません"),
                                     QStringLiteral("not present"))) +
           u')';
}

} // namespace

frmOptions::frmOptions(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmOptions"));

    OptionTab = new QTabWidget(this);
    OptionTab->setObjectName(QStringLiteral("OptionTab"));

    // Tab 0: behaviour switches. The boxes are bare; their texts are the labels beside them.
    auto* operation = new QWidget(OptionTab);
    auto* operationLayout = new QVBoxLayout(operation);
    SysSetupTitle = Heading(QStringLiteral("SysSetupTitle"), operation);
    SysSteupLine1 = HorizontalLine(QStringLiteral("SysSteupLine1"), operation);
    operationLayout->addWidget(SysSetupTitle);
    operationLayout->addWidget(SysSteupLine1);
    auto* checks = new QGridLayout;
    checks->setColumnStretch(1, 1);
    checks->setContentsMargins(12, 6, 0, 0);
    for (int i = 0; i < 3; ++i) {
        SysSetupCheck[i] = new QCheckBox(operation);
        SysSetupCheck[i]->setObjectName(Indexed("SysSetupCheck", i));
        SysSetupLabel[i] = new QLabel(operation);
        SysSetupLabel[i]->setObjectName(Indexed("SysSetupLabel", i));
        // A click on the label works the box, as operators expect of a check box text.
        SysSetupLabel[i]->installEventFilter(this);
        checks->addWidget(SysSetupCheck[i], i, 0);
        checks->addWidget(SysSetupLabel[i], i, 1);
        connect(SysSetupCheck[i], &QCheckBox::toggled, this, [this, i] { SysSetupCheck_Click(i); });
    }
    operationLayout->addLayout(checks);
    operationLayout->addStretch(1);
    OptionTab->addTab(operation, QString());

    // Tab 1: port and line speed, one exclusive group per frame.
    auto* communication = new QWidget(OptionTab);
    auto* communicationLayout = new QVBoxLayout(communication);
    ComSetupTitle = Heading(QStringLiteral("ComSetupTitle"), communication);
    ComSetupLine1 = HorizontalLine(QStringLiteral("ComSetupLine1"), communication);
    communicationLayout->addWidget(ComSetupTitle);
    communicationLayout->addWidget(ComSetupLine1);
    auto* frames = new QHBoxLayout;
    ComPortFrame = new QGroupBox(communication);
    ComPortFrame->setObjectName(QStringLiteral("ComPortFrame"));
    auto* ports = new QGridLayout(ComPortFrame);
    const QList<platform::SerialDevice> present = platform::SerialDevicesPresent();
    for (int i = 0; i < 16; ++i) {
        ComPortOption[i] = new QRadioButton(QStringLiteral("COM %1").arg(i + 1), ComPortFrame);
        ComPortOption[i]->setObjectName(Indexed("ComPortOption", i));
        ComPortOption[i]->setToolTip(PortTooltip(i + 1, present));
        ports->addWidget(ComPortOption[i], i / 4, i % 4);
        connect(ComPortOption[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                ComPortOption_Click(i);
        });
    }
    ComSpeedFrame = new QGroupBox(communication);
    ComSpeedFrame->setObjectName(QStringLiteral("ComSpeedFrame"));
    auto* speeds = new QVBoxLayout(ComSpeedFrame);
    for (int j = 0; j < 4; ++j) {
        ComSpeedOption[j] = new QRadioButton(QString::fromLatin1(kSpeedCaptions[j]), ComSpeedFrame);
        ComSpeedOption[j]->setObjectName(Indexed("ComSpeedOption", j));
        speeds->addWidget(ComSpeedOption[j]);
        connect(ComSpeedOption[j], &QRadioButton::toggled, this, [this, j](bool on) {
            if (on)
                ComSpeedOption_Click(j);
        });
    }
    speeds->addStretch(1);
    frames->addWidget(ComPortFrame, 1);
    frames->addWidget(ComSpeedFrame);
    communicationLayout->addLayout(frames);
    communicationLayout->addStretch(1);
    OptionTab->addTab(communication, QString());

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdApply = new QPushButton(this);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setEnabled(false);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {cmdOK, cmdCancel, cmdApply}) {
        button->setMinimumWidth(88);
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(OptionTab);
    layout->addLayout(buttons);
    // A dialog of fixed size, laid out for the captions of the chosen language.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

int frmOptions::ShowModal(QWidget* owner) {
    frmOptions dialog(owner);
    return dialog.exec();
}

void frmOptions::Form_Load() {
    OptionsLoaded = kFalse;
    OptionsChanged = kFalse;

    const ProgramOptions& options = MainModule::Options;
    for (QCheckBox* box : SysSetupCheck)
        box->setChecked(false);
    SysSetupCheck[0]->setChecked(IsTrue(options.LoadOnConnect));
    SysSetupCheck[1]->setChecked(IsTrue(options.ConfirmStore));
    SysSetupCheck[2]->setChecked(IsTrue(options.CheckSerialNo));

    if (options.ComPort >= 1 && options.ComPort <= 16)
        ComPortOption[options.ComPort - 1]->setChecked(true);
    if (options.ComSpeed >= 0 && options.ComSpeed <= 3)
        ComSpeedOption[options.ComSpeed]->setChecked(true);

    ApplyCaptions();

    OptionsLoaded = kTrue;
}

void frmOptions::ApplyCaptions() {
    for (const Caption& caption : kCaptions) {
        const QString name = QLatin1String(caption.control);
        const QString text = MainModule::JaEn(QString::fromUtf8(caption.japanese),
                                              QString::fromUtf8(caption.english));
        if (name == objectName()) {
            setWindowTitle(text);
        } else if (name.startsWith(QLatin1String("OptionTab("))) {
            OptionTab->setTabText(name.mid(10, 1).toInt(), text);
        } else if (auto* label = findChild<QLabel*>(name)) {
            label->setText(text);
        } else if (auto* button = findChild<QAbstractButton*>(name)) {
            button->setText(text);
        } else if (auto* frame = findChild<QGroupBox*>(name)) {
            frame->setTitle(text);
        }
    }
}

void frmOptions::ApplyOptions() {
    ProgramOptions& options = MainModule::Options;
    options.LoadOnConnect = ToBoolean(SysSetupCheck[0]->isChecked());
    options.ConfirmStore = ToBoolean(SysSetupCheck[1]->isChecked());
    options.CheckSerialNo = ToBoolean(SysSetupCheck[2]->isChecked());
    for (int i = 0; i < 16; ++i) {
        if (ComPortOption[i]->isChecked())
            options.ComPort = static_cast<qint16>(i + 1);
    }
    for (int j = 0; j < 4; ++j) {
        if (ComSpeedOption[j]->isChecked())
            options.ComSpeed = static_cast<qint16>(j);
    }
    ComSupport::ComInit(options.ComPort, options.ComSpeed);
}

void frmOptions::cmdOK_Click() {
    if (IsTrue(OptionsChanged))
        ApplyOptions();
    accept();
}

void frmOptions::cmdCancel_Click() {
    reject();
}

void frmOptions::cmdApply_Click() {
    if (!IsTrue(OptionsChanged))
        return;
    ApplyOptions();
    cmdApply->setEnabled(false);
    OptionsChanged = kFalse;
}

void frmOptions::SysSetupCheck_Click(int) {
    MarkChanged();
}

void frmOptions::ComPortOption_Click(int) {
    MarkChanged();
}

void frmOptions::ComSpeedOption_Click(int) {
    MarkChanged();
}

void frmOptions::MarkChanged() {
    // Filling the controls from the options is not a change.
    if (!IsTrue(OptionsLoaded))
        return;
    OptionsChanged = kTrue;
    if (!cmdApply->isEnabled())
        cmdApply->setEnabled(true);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int i = 0; i < 3; ++i) {
            if (watched == SysSetupLabel[i] && SysSetupCheck[i]->isEnabled()) {
                SysSetupCheck[i]->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

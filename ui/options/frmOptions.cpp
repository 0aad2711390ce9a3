#include "ui/options/frmOptions.h"

#include "link/ComSupport.h"
#include "platform/Ports.h"
#include "shell/LineSpeeds.h"
#include "shell/MainModule.h"
#include "ui/Accessibility.h"
#include "ui/Captions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Every caption of the dialog in both languages.
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

QString Indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

template <typename W> W* Named(const QString& name, QWidget* parent) {
    auto* widget = new W(parent);
    widget->setObjectName(name);
    return widget;
}

// A tab page's layout, headed by its bold title and a line under it.
QVBoxLayout* HeadedLayout(QWidget* page, const char* titleName, QLabel*& title,
                          const char* lineName, QFrame*& line) {
    auto* layout = new QVBoxLayout(page);
    title = Named<QLabel>(QLatin1String(titleName), page);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    line = Named<QFrame>(QLatin1String(lineName), page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(title);
    layout->addWidget(line);
    return layout;
}

// Which device "COM n" opens on this machine, and whether it is there.
QString PortTooltip(int portNumber, const QList<platform::SerialDevice>& present, Language lang) {
    const QString device = platform::ComPortDeviceName(portNumber);
    const bool there = platform::DevicePresent(device, present);
    return device + QStringLiteral(" (") +
           (there ? lang.JaEn(QStringLiteral("存在します"), QStringLiteral("present"))
                  : lang.JaEn(QStringLiteral("見つかりません"), QStringLiteral("not present"))) +
           u')';
}

} // namespace

frmOptions::frmOptions(ProgramOptions& options, ComSupport& link, QWidget* owner)
    : QDialog(owner), options_(options), link_(link), language_(link.Lang()) {
    InstallAccessibility();
    setObjectName(QStringLiteral("frmOptions"));
    OptionTab = Named<QTabWidget>(QStringLiteral("OptionTab"), this);
    // Tab stops at the tab row itself, which a screen reader names; the control around it
    // has no name of its own.
    OptionTab->setFocusPolicy(Qt::NoFocus);
    OptionTab->addTab(BuildOperationTab(), QString());
    OptionTab->addTab(BuildCommunicationTab(), QString());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(OptionTab);
    layout->addLayout(BuildButtons());
    // A dialog of fixed size, laid out for the captions of the chosen language.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

// Tab 0: the behaviour switches. The boxes are bare; their texts are the labels beside them.
QWidget* frmOptions::BuildOperationTab() {
    auto* page = Named<QWidget>(QStringLiteral("OptionTab(0)"), OptionTab);
    QVBoxLayout* layout =
        HeadedLayout(page, "SysSetupTitle", SysSetupTitle, "SysSteupLine1", SysSteupLine1);
    auto* checks = new QGridLayout;
    checks->setColumnStretch(1, 1);
    checks->setContentsMargins(12, 6, 0, 0);
    for (int i = 0; i < 3; ++i) {
        SysSetupCheck[i] = Named<QCheckBox>(Indexed("SysSetupCheck", i), page);
        SysSetupLabel[i] = Named<QLabel>(Indexed("SysSetupLabel", i), page);
        // A click on the label works the box, as operators expect of a check box text; a
        // screen reader names the box by it.
        SysSetupLabel[i]->installEventFilter(this);
        SysSetupLabel[i]->setBuddy(SysSetupCheck[i]);
        checks->addWidget(SysSetupCheck[i], i, 0);
        checks->addWidget(SysSetupLabel[i], i, 1);
        connect(SysSetupCheck[i], &QCheckBox::toggled, this, [this, i] { SysSetupCheck_Click(i); });
    }
    layout->addLayout(checks);
    layout->addStretch(1);
    return page;
}

// Tab 1: port and line speed, one exclusive group per frame.
QWidget* frmOptions::BuildCommunicationTab() {
    auto* page = Named<QWidget>(QStringLiteral("OptionTab(1)"), OptionTab);
    QVBoxLayout* layout =
        HeadedLayout(page, "ComSetupTitle", ComSetupTitle, "ComSetupLine1", ComSetupLine1);
    ComPortFrame = Named<QGroupBox>(QStringLiteral("ComPortFrame"), page);
    auto* ports = new QGridLayout(ComPortFrame);
    const QList<platform::SerialDevice> present = platform::SerialDevicesPresent();
    for (int i = 0; i < platform::kComPorts; ++i) {
        ComPortOption[i] = Named<QRadioButton>(Indexed("ComPortOption", i), ComPortFrame);
        ComPortOption[i]->setText(QStringLiteral("COM %1").arg(i + 1));
        ComPortOption[i]->setToolTip(PortTooltip(i + 1, present, language_));
        ports->addWidget(ComPortOption[i], i / 4, i % 4);
        connect(ComPortOption[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                ComPortOption_Click(i);
        });
    }
    ComSpeedFrame = Named<QGroupBox>(QStringLiteral("ComSpeedFrame"), page);
    auto* speeds = new QVBoxLayout(ComSpeedFrame);
    for (int j = 0; j < 4; ++j) {
        ComSpeedOption[j] = Named<QRadioButton>(Indexed("ComSpeedOption", j), ComSpeedFrame);
        ComSpeedOption[j]->setText(QString::fromLatin1(kLineSpeeds[j].caption));
        speeds->addWidget(ComSpeedOption[j]);
        connect(ComSpeedOption[j], &QRadioButton::toggled, this, [this, j](bool on) {
            if (on)
                ComSpeedOption_Click(j);
        });
    }
    speeds->addStretch(1);
    auto* frames = new QHBoxLayout;
    frames->addWidget(ComPortFrame, 1);
    frames->addWidget(ComSpeedFrame);
    layout->addLayout(frames);
    layout->addStretch(1);
    return page;
}

QLayout* frmOptions::BuildButtons() {
    cmdOK = Named<QPushButton>(QStringLiteral("cmdOK"), this);
    cmdOK->setDefault(true);
    cmdCancel = Named<QPushButton>(QStringLiteral("cmdCancel"), this);
    cmdApply = Named<QPushButton>(QStringLiteral("cmdApply"), this);
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
    return buttons;
}

int frmOptions::ShowModal(QWidget* owner, ProgramOptions& options, ComSupport& link) {
    frmOptions dialog(options, link, owner);
    return dialog.exec();
}

void frmOptions::Form_Load() {
    OptionsLoaded = kFalse;
    OptionsChanged = kFalse;

    const ProgramOptions& options = options_;
    for (QCheckBox* box : SysSetupCheck)
        box->setChecked(false);
    SysSetupCheck[0]->setChecked(IsTrue(options.LoadOnConnect));
    SysSetupCheck[1]->setChecked(IsTrue(options.ConfirmStore));
    SysSetupCheck[2]->setChecked(IsTrue(options.CheckSerialNo));

    if (options.ComPort >= 1 && options.ComPort <= 16)
        ComPortOption[options.ComPort - 1]->setChecked(true);
    if (options.ComSpeed >= 0 && options.ComSpeed <= 3)
        ComSpeedOption[options.ComSpeed]->setChecked(true);

    ApplyCaptions(this, kCaptions, false);
    if (language_.IsEnglish())
        ApplyCaptions(this, kCaptions, true);
    SetAccessibleNames();

    OptionsLoaded = kTrue;
}

// The speeds carry their unit, as in the main window; the tab row has a name of its own.
void frmOptions::SetAccessibleNames() {
    for (int j = 0; j < 4; ++j)
        ComSpeedOption[j]->setAccessibleName(QStringLiteral("%1, %2 bps")
                                                 .arg(ComSpeedFrame->title())
                                                 .arg(kLineSpeeds[j].bitsPerSecond));
    OptionTab->tabBar()->setAccessibleName(
        language_.JaEn(QStringLiteral("オプションのページ"), QStringLiteral("Option pages")));
}

void frmOptions::ApplyOptions() {
    ProgramOptions& options = options_;
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
    link_.ComInit(options.ComPort, options.ComSpeed);
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

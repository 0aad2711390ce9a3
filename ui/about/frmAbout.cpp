#include "ui/about/frmAbout.h"

#include "shell/MainModule.h"
#include "ui/Accessibility.h"
#include "ui/Captions.h"
#include "ui/Twips.h"
#include "ui/about/ProgramIcon.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidthTw = 5415;
constexpr int kClientHeightTw = 3120;

constexpr Caption kCaptions[] = {
    {"frmAbout", "ﾊﾞｰｼﾞｮﾝ情報", "About QMX-001 Configratrion"},
    {"lblTitle", "QMX-001 設定プログラム", "QMX-001 Configuration"},
};

const char* const kNotice1 = "Open-source configuration utility for the QMX-001";
const char* const kNotice2 = "Free software; no warranty";

QLabel* NamedLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

frmAbout::frmAbout(Language language, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      language_(language) {
    InstallAccessibility();
    setObjectName(QStringLiteral("frmAbout"));

    picIcon = NamedLabel("picIcon", this);
    picIcon->setPixmap(ProgramIcon(32));
    picIcon->setFixedSize(32, 32);

    lblTitle = NamedLabel("lblTitle", this);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = NamedLabel("lblVersion", this);
    lblCopyright1 = NamedLabel("lblCopyright1", this);
    lblCopyright1->setText(QLatin1String(kNotice1));
    lblCopyright2 = NamedLabel("lblCopyright2", this);
    lblCopyright2->setText(QLatin1String(kNotice2));
    for (QLabel* label : {lblCopyright1, lblCopyright2})
        label->setWordWrap(true);

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setMinimumWidth(84);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* head = new QGridLayout;
    head->setHorizontalSpacing(16);
    head->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    head->addWidget(lblTitle, 0, 1);
    head->addWidget(lblVersion, 1, 1);
    head->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(head);
    layout->addSpacing(10);
    layout->addWidget(lblCopyright1);
    layout->addWidget(lblCopyright2);
    layout->addStretch(1);
    layout->addWidget(Line1);
    layout->addLayout(buttons);

    setFixedSize(Twips::ToPixels(kClientWidthTw), Twips::ToPixels(kClientHeightTw));
    Form_Load();
}

int frmAbout::ShowModal(QWidget* owner, Language language) {
    frmAbout box(language, owner);
    return box.exec();
}

void frmAbout::Form_Load() {
    lblVersion->setText(QLatin1String(MainModule::kVersionText));
    ApplyCaptions(this, kCaptions, language_.IsEnglish());
}

QPixmap frmAbout::ProgramIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    DrawProgramIcon(painter, size);
    return pixmap;
}

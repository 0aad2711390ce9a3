#include "ui/main/ChangeMarks.h"

#include <QEvent>
#include <QPainter>
#include <QTabBar>

namespace {

const QColor kMarkColor(200, 80, 0);
constexpr int kCorner = 7; // pixels along each side of the filled corner

void PaintCorner(QPainter& painter, const QRect& rect) {
    const QPoint tip = rect.topRight();
    const QPolygon corner{tip, tip - QPoint(kCorner, 0), tip + QPoint(0, kCorner)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(kMarkColor);
    painter.drawPolygon(corner);
}

// What lies under a mark stays usable and readable to the operator and to a screen reader.
void StayOutOfTheWay(QWidget* mark) {
    mark->setAttribute(Qt::WA_TransparentForMouseEvents);
    mark->setAttribute(Qt::WA_NoSystemBackground);
    mark->setFocusPolicy(Qt::NoFocus);
}

} // namespace

ChangeMark::ChangeMark(QWidget* control) : QWidget(control) {
    setObjectName(QStringLiteral("ChangeMark"));
    StayOutOfTheWay(this);
    setGeometry(control->rect());
    control->installEventFilter(this);
    show();
    raise();
}

bool ChangeMark::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void ChangeMark::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(kMarkColor, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    PaintCorner(painter, rect().adjusted(0, 0, -1, -1));
}

TabMarks::TabMarks(QTabBar* tabs) : QWidget(tabs), tabs_(tabs) {
    setObjectName(QStringLiteral("TabMarks"));
    StayOutOfTheWay(this);
    setGeometry(tabs->rect());
    tabs->installEventFilter(this);
    connect(tabs, &QTabBar::currentChanged, this, qOverload<>(&QWidget::update));
    show();
}

void TabMarks::SetMarked(const QSet<int>& pages) {
    if (pages == marked_)
        return;
    marked_ = pages;
    raise();
    update();
}

// The tab row lays its tabs out anew as it changes: the marks follow.
bool TabMarks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabs_ && event->type() == QEvent::Resize)
        setGeometry(tabs_->rect());
    return QWidget::eventFilter(watched, event);
}

void TabMarks::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const int page : std::as_const(marked_))
        if (page >= 0 && page < tabs_->count())
            PaintCorner(painter, tabs_->tabRect(page).adjusted(0, 2, -3, 0));
}

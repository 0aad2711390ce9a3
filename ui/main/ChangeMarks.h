#pragma once

#include <QSet>
#include <QWidget>

class QTabBar;

// The marks of a value the controller does not hold. A mark is drawn over its control: a
// dashed outline and a filled corner, so that it shows without colour too; it takes no room,
// moves nothing, takes no clicks and no focus.
class ChangeMark : public QWidget {
    Q_OBJECT
public:
    // Marks control; the mark is its child and follows its size.
    explicit ChangeMark(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// The marks of the page tabs that hold a marked control: a filled corner on each such tab,
// drawn over the tab row.
class TabMarks : public QWidget {
    Q_OBJECT
public:
    explicit TabMarks(QTabBar* tabs);
    void SetMarked(const QSet<int>& pages);
    const QSet<int>& Marked() const { return marked_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QTabBar* tabs_;
    QSet<int> marked_;
};

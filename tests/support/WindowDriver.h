#pragma once

#include <QString>
#include <QStringList>

class QAbstractButton;
class QLineEdit;
class QWidget;
class frmMain;

// Driving the main window as an operator does, for the window's test suites.
namespace testing {

// Lets the event loop run until the connect, load or store under way has ended (at once when
// none runs); false when it still runs after timeoutMs.
bool AwaitSequenceEnd(frmMain& window, int timeoutMs = 30000);

// Selects the page that holds the widget.
void Reveal(frmMain& window, QWidget* widget);
// Clicks where the operator would: on the box or circle of check and option buttons.
void Click(frmMain& window, QAbstractButton* button);
// Focuses the box, selects its text and types over it (an empty text deletes it).
void Type(frmMain& window, QLineEdit* box, const QString& text);
// Actions in a row: "type BOX TEXT" (then Tab away), "keyin BOX TEXT" (and stay in the box),
// "pass BOX" (into it and out again, typing nothing), "click NAME", "slider NAME VALUE",
// "key NAME Left|Right", "wheel NAME NOTCHES" (over it, leaving the focus where it is), "tab"
// (from the focused control), "away" (another program's window comes to the front, then this
// one again), "expect STATE" (as Mismatch), "present" (DispConfigData). False when the control
// is missing or cannot take the action, or the state differs.
bool Perform(frmMain& window, const QString& action);
// "NAME=checked|unchecked|enabled|disabled|visible|hidden|text:T|value:N|font:POINTS"; empty when
// the control agrees, else what it shows.
QString Mismatch(frmMain& window, const QString& expectation);

// What a screen reader would be told wrong about the window, one finding a line: a focusable
// control without a name, two sharing one, a part that borrows the name of a frame around it,
// a disabled control or tab reported enabled (or the reverse).
QStringList AccessibilityProblems(QWidget* window);

} // namespace testing

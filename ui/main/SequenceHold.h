#pragma once

#include <QPointer>

#include <utility>
#include <vector>

struct ProgramState;
class QAction;
class QPushButton;
class QWidget;

// The controls a running connect, load or store keeps still.
struct SequenceControls {
    std::vector<QWidget*> editors;  // what edits the record: the pages, INITIALIZED DEFAULT
    std::vector<QAction*> commands; // menu commands that would read or replace the record
    QAction* options = nullptr;     // Tools > Options: available only while disconnected
    QPushButton* connect = nullptr; // CONNECT, DISCONNECT while connected
    QPushButton* load = nullptr;
    QPushButton* store = nullptr;
    QAction* compare = nullptr; // Tools > Compare: available only while connected
};

// While a command series talks to the controller, nothing that would change what is sent or
// read can be used, and the operator sees why: those controls are disabled and the pointer
// shows that the program is busy. The button that started the series keeps the focus. When
// the hold ends, every control gets back the state the connection calls for, and a focus
// left on a control that is now disabled (LOAD after a failed load) goes to CONNECT, never
// along the Tab chain to INITIALIZED DEFAULT.
class SequenceHold {
public:
    SequenceHold(SequenceControls controls, QPushButton* running, const ProgramState& state);
    ~SequenceHold();
    SequenceHold(const SequenceHold&) = delete;
    SequenceHold& operator=(const SequenceHold&) = delete;

private:
    void MoveFocusToSafety() const;

    SequenceControls controls_;
    const ProgramState& state_;
    std::vector<std::pair<QPointer<QWidget>, bool>> editorsEnabled_;
    std::vector<std::pair<QPointer<QAction>, bool>> commandsEnabled_;
    QPointer<QWidget> focus_;
};

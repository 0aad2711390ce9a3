#pragma once

#include "shell/ConfigRecord.h"

#include <QUndoCommand>

#include <functional>

// One operator action that changed the record, for undo and redo: the whole record before and
// after, so that undo restores every field, hidden ones included. It never touches the current
// file, the connection or the controller: only the record and what the window shows of it.
class RecordStep : public QUndoCommand {
public:
    using Show = std::function<void(const ConfigRecord&)>;

    // drag: the moves of one slider drag (the same drag number) make one step; 0: none.
    RecordStep(Show show, const ConfigRecord& before, const ConfigRecord& after,
               const QString& name, int slider = -1, int drag = 0);

    void undo() override { show_(before_); }
    void redo() override { show_(after_); }
    int id() const override { return drag_ > 0 ? kSliderId + slider_ : -1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    static constexpr int kSliderId = 1000;

    Show show_;
    ConfigRecord before_;
    ConfigRecord after_;
    int slider_;
    int drag_;
};

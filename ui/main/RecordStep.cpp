#include "ui/main/RecordStep.h"

#include <utility>

RecordStep::RecordStep(Show show, const ConfigRecord& before, const ConfigRecord& after,
                       const QString& name, int slider, int drag)
    : QUndoCommand(name), show_(std::move(show)), before_(before), after_(after), slider_(slider),
      drag_(drag) {}

// A drag that comes back where it began changed nothing: the step goes.
bool RecordStep::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const RecordStep*>(other);
    if (other->id() != id() || next->drag_ != drag_)
        return false;
    after_ = next->after_;
    setObsolete(after_ == before_);
    return true;
}

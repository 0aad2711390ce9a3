#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <utility>

// What the core has to tell or ask the operator. The core never shows anything itself: it
// returns a failure or hands a question to its front end's view, which decides how it is shown
// (the window a message box, qmxcli a line on standard error, the tests a list).

// What kind of failure it was, for callers that act on it (qmxcli's exit codes, the window's
// known values); the operator reads the text.
enum class FailureKind {
    NotOpened,   // the port could not be opened
    NoReply,     // a command went unanswered after every attempt
    Refused,     // the controller answered with another word than the one that goes on
    Shifted,     // a line was waiting before a command went out: the replies have shifted
    Disagreed,   // the lines of a command's attempts differ, or one more came than owed
    Unconfirmed, // a line came where none may, or readings did not agree: the outcome is unknown
    PortLost,    // the device went away
    Stopped,     // a stop was requested before the next command
    Declined,    // the operator answered No: nothing more to say
    FileError,   // a file could not be read or written, or is no configuration file
    NotServed,   // identified, but a device this program does not serve (name, version)
    Differs,     // the controller holds other values than were sent
};

// Why an operation failed, worded for the operator (a box's title and text), with its kind and,
// for the controller, the command that failed and the line that refused or spoke against it.
struct Failure {
    QString title{};
    QString text{};
    FailureKind kind = FailureKind::FileError;
    QString command{};
    QString line{};
};

// A question before the core goes on; only Yes goes on.
struct Question {
    QString title{};
    QString text{};
    bool warning = true; // shown with the warning icon (the file questions), or plain
    QString details{};   // shown below the text (the parameters a store changes); may be empty
};

// How an operation asks its front end; true for Yes.
using AskOperator = std::function<bool(const Question&)>;

// Success, or a failure: one with what to show, or one the operator chose (No to a question),
// which needs no further word.
class [[nodiscard]] Result {
public:
    Result() = default; // success
    Result(Failure failure) : failure_(std::move(failure)) {}
    static Result Declined() { return Failure{{}, {}, FailureKind::Declined}; }

    explicit operator bool() const { return !failure_; }
    // The failure; none on success.
    const std::optional<Failure>& failure() const { return failure_; }
    // Whether it failed in this way.
    bool Is(FailureKind kind) const { return failure_ && failure_->kind == kind; }

private:
    std::optional<Failure> failure_;
};

// What the core needs of the operator: questions and failures. Each front end's views extend it.
class OperatorView {
public:
    virtual ~OperatorView() = default;
    // True when the operator answers Yes.
    virtual bool Ask(const Question& question) = 0;
    virtual void ShowFailure(const Failure& failure) = 0;
};

// The failure shown to the operator, unless they declined; true when there was none.
inline bool Succeeded(const Result& result, OperatorView& view) {
    if (result.failure() && result.failure()->kind != FailureKind::Declined)
        view.ShowFailure(*result.failure());
    return bool(result);
}

#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <utility>

// What the core has to tell or ask the operator. The core never shows anything itself: it
// returns a failure or hands a question to its front end's view, which decides how it is shown
// (the window a message box, qmxcli a line on standard error, the tests a list).

// Why an operation failed, worded for the operator: a box's title and text.
struct Failure {
    QString title;
    QString text;
};

// A question before the core goes on; only Yes goes on.
struct Question {
    QString title;
    QString text;
    bool warning = true; // shown with the warning icon (the file questions), or plain
};

// How an operation asks its front end; true for Yes.
using AskOperator = std::function<bool(const Question&)>;

// Success, or a failure: one with what to show, or one the operator chose (No to a question),
// which needs no further word.
class [[nodiscard]] Result {
public:
    Result() = default; // success
    Result(Failure failure) : failed_(true), failure_(std::move(failure)) {}
    static Result Declined() {
        Result r;
        r.failed_ = true;
        return r;
    }

    explicit operator bool() const { return !failed_; }
    // What to show; none on success and when the operator declined.
    const std::optional<Failure>& failure() const { return failure_; }

private:
    bool failed_ = false;
    std::optional<Failure> failure_;
};

#pragma once

#include <QString>

namespace platform {

enum class MsgIcon { None, Critical, Warning, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

// How a window shows a message box: the main window owns one backed by real dialogs and passes
// it to the dialogs it opens; the tests pass scripted ones. The core never shows one: it hands
// its failures and questions to its front end's views.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // details: further text below the message (may be empty).
    virtual MsgAnswer Show(const QString& text, const QString& title, MsgIcon icon,
                           MsgButtons buttons, const QString& details = {}) = 0;
};

} // namespace platform

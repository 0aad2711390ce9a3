#pragma once

#include <QString>

namespace platform {

enum class MsgIcon { None, Critical, Warning, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

// How the core shows a message box to the operator. The window installs one backed by real
// dialogs, the command-line tool one that writes to standard error, tests a scripted one.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer Show(const QString& text, const QString& title, MsgIcon icon,
                           MsgButtons buttons) = 0;
};

// Writes each box to standard error; questions get the preset answer (No unless told).
class ConsoleMessageBoxes : public MessageBoxes {
public:
    explicit ConsoleMessageBoxes(bool answerYes = false) : answerYes_(answerYes) {}
    MsgAnswer Show(const QString& text, const QString& title, MsgIcon icon,
                   MsgButtons buttons) override;

private:
    bool answerYes_;
};

// Installs the implementation (not owned); nullptr restores the console one.
void SetMessageBoxes(MessageBoxes* boxes);
MessageBoxes& Boxes();

inline MsgAnswer MsgBox(const QString& text, const QString& title, MsgIcon icon,
                        MsgButtons buttons = MsgButtons::Ok) {
    return Boxes().Show(text, title, icon, buttons);
}

} // namespace platform

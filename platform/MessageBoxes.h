#pragma once

#include <QString>

namespace platform {

enum class MsgIcon { None, Critical, Warning, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

// How the windows show a message box: the main window installs one backed by real dialogs,
// tests a scripted one; without one, boxes go to standard error. The core never shows one: it
// hands its failures and questions to its front end's views.
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

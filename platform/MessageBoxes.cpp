#include "platform/MessageBoxes.h"

#include <cstdio>

namespace platform {

namespace {
ConsoleMessageBoxes consoleBoxes;
MessageBoxes* current = nullptr;
} // namespace

MsgAnswer ConsoleMessageBoxes::Show(const QString& text, const QString& title, MsgIcon,
                                    MsgButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    if (buttons == MsgButtons::YesNo) {
        std::fprintf(stderr, "%s\n", answerYes_ ? "-> Yes" : "-> No");
        return answerYes_ ? MsgAnswer::Yes : MsgAnswer::No;
    }
    return MsgAnswer::Ok;
}

void SetMessageBoxes(MessageBoxes* boxes) {
    current = boxes;
}

MessageBoxes& Boxes() {
    return current ? *current : consoleBoxes;
}

} // namespace platform

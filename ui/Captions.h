#pragma once

#include <span>

class QObject;
class QString;
class QWidget;

// Every window's captions as a table: a control by name (the window itself by its own name,
// a tab page by the page's name), its Japanese caption and its English one.
struct Caption {
    const char* control;
    const char* japanese;
    const char* english; // nullptr: the English mode keeps the Japanese caption
};

// Sets every Japanese caption of the table, or every English caption it gives. A "-" entry of
// a menu is its separator line and keeps no text.
void ApplyCaptions(QWidget* window, std::span<const Caption> table, bool english);

// Sets one control's caption: the window's title, a menu's or entry's text, a frame's title, a
// button's or label's text, or a tab page's tab text.
void SetCaption(QWidget* window, QObject* control, const QString& text);

#pragma once

#include <span>

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

// What a screen reader says for a control whose caption alone does not tell it apart: its
// name (frame, row, unit) and, for a value, its range. Keyed by control name like the
// captions; both follow the window's language.
struct AccessibleText {
    const char* control;
    const char* japaneseName;
    const char* englishName;
    const char* japaneseRange; // nullptr: no range to tell
    const char* englishRange;
};

void ApplyAccessibleTexts(QWidget* window, std::span<const AccessibleText> table, bool english);

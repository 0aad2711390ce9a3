#pragma once

#include "shell/EditRules.h"

#include <QString>

#include <span>

class frmMain;
class QObject;

// The main window's controls as rows, one row per control: its name, its member of frmMain,
// its kind, parent and place in twips, its captions, the name and range a screen reader
// tells, what it drives in the record and the help on the parameter it edits. One walk over
// the rows builds the window, one sets its texts, one wires the reactions and one presents the
// record. The rows run in reading order (top to bottom, left to right within a frame): the
// order Tab visits them.
namespace MainControls {

enum class Kind {
    Tabs,        // the page tab control
    Page,        // one of its pages
    Frame,       // a frame on the client area or in another frame
    PageFrame,   // a frame on a page, placed relative to the tab control
    Borderless,  // a frame without a border that only groups option buttons
    Label,       // a caption
    InfoLabel,   // a caption of the controller information
    ValueLabel,  // a value of the controller information
    NumberLabel, // a current shown as a number
    NumberBox,   // a text box for a number
    Option,      // an option button
    Check,       // a check box
    Button,      // a command button
    PresetButton,
    Slider,
    Line,
    Lamp,
    Progress,
};

using Bind = void (*)(frmMain&, QObject*); // stores the control in its member of frmMain

struct Place {
    int left, top, width, height; // twips
};

// A text in both languages; without an English one the English mode keeps the Japanese.
struct JaEn {
    const char* japanese = nullptr;
    const char* english = nullptr;
};

// What a control drives: the edit rule it calls with its index, and what presenting shows.
struct Drive {
    enum class What { Nothing, Choice, Switch, Number, Preset, Slider };
    What what = What::Nothing;
    int which = 0; // the EditRules::Choice, Switch or Number
};
constexpr Drive Chooses(EditRules::Choice c) {
    return {Drive::What::Choice, int(c)};
}
constexpr Drive Ticks(EditRules::Switch s) {
    return {Drive::What::Switch, int(s)};
}
constexpr Drive Shows(EditRules::Number n) {
    return {Drive::What::Number, int(n)};
}
constexpr Drive Moves(EditRules::Number n) {
    return {Drive::What::Slider, int(n)};
}
constexpr Drive Presets() {
    return {Drive::What::Preset, 0};
}

struct ControlRow {
    const char* name;
    Bind bind;
    int index; // the element of a control array, else 0
    Kind kind;
    const char* parent;
    Place place;
    JaEn caption = {};
    JaEn accessibleName = {}; // frame, row and unit, where the caption alone does not say it
    JaEn range = {};          // the accessible description, before the help
    Drive drive = {};
    JaEn help = {}; // what the parameter does, its unit and range: tooltip and description
};

// Undo and Redo are the undo stack's own entries: their caption is the prefix of the step's name.
enum class MenuKind { Menu, Entry, Separator, Undo, Redo };

struct MenuRow {
    const char* name;
    Bind bind;
    int index;
    MenuKind kind;
    JaEn caption;
};

std::span<const ControlRow> Controls();
// The row of the control of that name ("DefSpeedText(0)"), or nullptr.
const ControlRow* Named(const char* name);

// The text in the language; nullptr where it has none.
const char* InLanguage(const JaEn& text, bool english);
// A control's accessible description: its range, then what the parameter does.
QString Description(const ControlRow& row, bool english);
// Menus on the bar, each followed by its entries top to bottom.
std::span<const MenuRow> Menus();

} // namespace MainControls

#include "ui/main/frmMain.h"

// The change markers: which controls show a value the controller is not known to hold.

#include "shell/EditRules.h"
#include "shell/RecordFields.h"
#include "ui/main/ChangeMarks.h"
#include "ui/main/FieldTexts.h"
#include "ui/main/MainControls.h"

#include <QTabBar>
#include <QTabWidget>

namespace {

using What = MainControls::Drive::What;

// The field whose value the row's control shows; -1 for a control that shows none (labels,
// buttons, presets: what they set shows in the controls that show it).
int ShownField(const MainControls::ControlRow& row) {
    switch (row.drive.what) {
    case What::Choice:
        return EditRules::FieldOf(EditRules::Choice(row.drive.which), row.index);
    case What::Switch:
        return EditRules::FieldOf(EditRules::Switch(row.drive.which));
    case What::Number:
        return row.kind == MainControls::Kind::NumberBox
                   ? EditRules::FieldOf(EditRules::Number(row.drive.which))
                   : -1;
    case What::Slider:
        return EditRules::FieldOf(EditRules::Number(row.drive.which));
    case What::Preset:
    case What::Nothing:
        break;
    }
    return -1;
}

ChangeMark* MarkOf(const QWidget* control) {
    return control->findChild<ChangeMark*>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

int frmMain::PageOf(const QWidget* control) const {
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (const int page = MainTab->indexOf(const_cast<QWidget*>(w)); page >= 0)
            return page;
    return -1;
}

void frmMain::SetKnownValues(const std::optional<ConfigRecord>& known) {
    known_ = known;
    DispChanges();
}

// Marks each control whose value differs from the known one, says so in its description, and
// marks the page tabs that hold one. Without known values nothing is marked.
void frmMain::DispChanges() {
    const std::optional<ConfigRecord>& known = known_;
    const bool english = Lang().IsEnglish();
    QSet<int> pages;
    const auto rows = MainControls::Controls();
    for (size_t i = 0; i < rows.size(); ++i) {
        const int field = ShownField(rows[i]);
        if (field < 0)
            continue;
        const RecordField& row = RecordFields::Row(field);
        const bool changed =
            known && !RecordFields::SameMeaning(row, row.get(program_.Config), row.get(*known));
        QWidget* control = rowControls_[i];
        MarkControl(control, changed);
        QString description = MainControls::Description(rows[i], english);
        if (changed)
            description += (description.isEmpty() ? QString() : QStringLiteral(" ")) +
                           Lang()
                               .JaEn(QStringLiteral("変更あり。QMX-001の値：%1"),
                                     QStringLiteral("changed; the controller holds %1"))
                               .arg(FieldTexts::ValueWithUnit(field, *known, Lang()));
        // Set only when it differs: each change tells a screen reader once.
        if (control->accessibleDescription() != description)
            control->setAccessibleDescription(description);
        if (changed)
            pages.insert(PageOf(control));
    }
    tabMarks_->SetMarked(pages);
    for (int page = 0; page < MainTab->count(); ++page)
        MainTab->tabBar()->setTabToolTip(
            page, pages.contains(page)
                      ? Lang().JaEn(QStringLiteral("このページには、QMX-001の値と異なる設定値が"
                                                   "あります。"),
                                    QStringLiteral("Values on this page differ from those the "
                                                   "controller holds."))
                      : QString());
}

void frmMain::MarkControl(QWidget* control, bool marked) {
    ChangeMark* mark = MarkOf(control);
    if (marked && !mark)
        new ChangeMark(control);
    else if (!marked && mark)
        delete mark;
}

QStringList frmMain::MarkedControls() const {
    QStringList names;
    for (const QWidget* control : rowControls_)
        if (MarkOf(control))
            names << control->objectName();
    return names;
}

QList<int> frmMain::MarkedPages() const {
    QList<int> pages = tabMarks_->Marked().values();
    std::sort(pages.begin(), pages.end());
    return pages;
}

#pragma once

#include "shell/ConfigRecord.h"
#include "shell/Language.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

// What Compare found: every parameter a store sends whose value in the window differs from the
// controller's, as a table a screen reader reads row by row (parameter, the window's value, the
// controller's value, unit), or the word that none differ.
class frmCompare : public QDialog {
    Q_OBJECT
public:
    frmCompare(const ConfigRecord& shown, const ConfigRecord& controller, Language language,
               QWidget* owner);

    QLabel* lblSummary = nullptr;
    QTableWidget* DifferenceTable = nullptr;
    QPushButton* cmdOK = nullptr;

private:
    void FillTable(const QList<int>& fields, const ConfigRecord& shown,
                   const ConfigRecord& controller);

    Language language_;
};

#include "ui/main/frmCompare.h"

#include "link/QMXModule.h"
#include "ui/Accessibility.h"
#include "ui/main/FieldTexts.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

frmCompare::frmCompare(const ConfigRecord& shown, const ConfigRecord& controller, Language language,
                       QWidget* owner)
    : QDialog(owner), language_(language) {
    InstallAccessibility();
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(
        language.JaEn(QStringLiteral("QMXと比較"), QStringLiteral("Compare with QMX-001")));
    const QList<int> fields = QMXModule::ChangedFields(shown, controller);
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setText(
        fields.isEmpty()
            ? language.JaEn(
                  QStringLiteral("QMX-001はウィンドウに表示されている値を保持しています。"),
                  QStringLiteral("The controller holds what the window shows."))
            : language
                  .JaEn(QStringLiteral("次の%1項目がQMX-001の値と異なります。"),
                        QStringLiteral("%1 parameters differ from what the controller holds."))
                  .arg(fields.size()));
    DifferenceTable = new QTableWidget(this);
    DifferenceTable->setObjectName(QStringLiteral("DifferenceTable"));
    FillTable(fields, shown, controller);
    DifferenceTable->setVisible(!fields.isEmpty());
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(DifferenceTable);
    layout->addWidget(cmdOK, 0, Qt::AlignRight);
}

void frmCompare::FillTable(const QList<int>& fields, const ConfigRecord& shown,
                           const ConfigRecord& controller) {
    const Language lang = language_;
    DifferenceTable->setColumnCount(4);
    DifferenceTable->setHorizontalHeaderLabels(
        {lang.JaEn(QStringLiteral("設定項目"), QStringLiteral("Parameter")),
         lang.JaEn(QStringLiteral("ウィンドウの値"), QStringLiteral("Window")),
         lang.JaEn(QStringLiteral("QMX-001の値"), QStringLiteral("Controller")),
         lang.JaEn(QStringLiteral("単位"), QStringLiteral("Unit"))});
    DifferenceTable->setRowCount(int(fields.size()));
    for (int row = 0; row < fields.size(); ++row) {
        const int field = fields.at(row);
        const QStringList cells{
            FieldTexts::Caption(field, lang), FieldTexts::Value(field, shown, lang),
            FieldTexts::Value(field, controller, lang), FieldTexts::Unit(field)};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            DifferenceTable->setItem(row, column, item);
        }
    }
    DifferenceTable->setAccessibleName(
        lang.JaEn(QStringLiteral("QMX-001と異なる設定値"),
                  QStringLiteral("Parameters that differ from the controller")));
    DifferenceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DifferenceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    DifferenceTable->setTabKeyNavigation(false); // Tab moves on to OK
    DifferenceTable->verticalHeader()->setVisible(false);
    DifferenceTable->resizeColumnsToContents();
    DifferenceTable->horizontalHeader()->setStretchLastSection(true);
    DifferenceTable->setMinimumWidth(DifferenceTable->horizontalHeader()->length() + 24);
}

#pragma once

#include "shell/Language.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box: program title and version. Holds no state and changes nothing.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(Language language, QWidget* owner = nullptr);

    // Opens a fresh box modally over owner and returns when it is closed.
    static int ShowModal(QWidget* owner, Language language);

    // The program's icon, drawn at size x size pixels.
    static QPixmap ProgramIcon(int size);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright1 = nullptr;
    QLabel* lblCopyright2 = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdOK = nullptr;

private:
    void Form_Load();

    Language language_;
};

#pragma once

#include <QDialog>

class QPushButton;

// The About dialog: the program's name and version; Enter closes it.
class TAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    QPushButton* OKBtn;
};

// The program's one About dialog; null until the program creates it.
extern TAboutDlg* AboutDlg;

#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TURLLabel;

// The About dialog: the program's name and version, a button that opens the home page, and the
// way to the trace window, a double click on the icon. Enter closes it.
class TAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    TURLLabel* HomePageLbl;
    QPushButton* BitBtn1;
    QPushButton* OKBtn;

    void Image1DblClick();
    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes the controls; in UAboutDialogLayout.cpp.
    void CreateControls();
};

// Where the home page button leads: the address the build was configured with, otherwise this
// program's README, the installed copy or, in a build folder, the source tree's.
QString HomePageAddress();

// The program's one About dialog; null until the program creates it.
extern TAboutDlg* AboutDlg;

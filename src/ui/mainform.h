#pragma once

#include "entries/EntryStore.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QHelpEvent;
class QLabel;
class QListWidget;
class QMenu;
class QStatusBar;
class QToolButton;
class TDropDst;

// The main window: the list of server entries with the details of the selected one, the entry
// commands, sending, and the outcome of the last send in the status bar. It loads the entry
// store when it is created and saves it when it closes.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(const TStoreLocation& Store = EntryStoreLocation(), QWidget* parent = nullptr);

    QWidget* ToolBar1;
    QToolButton* SendBtn;
    QToolButton* NewBtn;
    QToolButton* EditBtn;
    QToolButton* DuplicateBtn;
    QToolButton* DeleteBtn;
    QToolButton* UpBtn;
    QToolButton* DownBtn;
    QToolButton* AboutBtn;
    QListWidget* EntryListBox;
    QWidget* Panel2;
    QWidget* Panel1;
    QLabel* Image1;
    QLabel* Image2;
    QLabel* ServerAddressLbl;
    QLabel* ServerPortLbl;
    QLabel* RemoteFileLbl;
    QLabel* LocalFileLbl;
    QCheckBox* FullPathChkBox;
    QStatusBar* StatusBar1;
    QLabel* StatusText;
    QMenu* PopupMenu1;
    TDropDst* DropDst1;

    QAction* SendAction;
    QAction* NewAction;
    QAction* EditAction;
    QAction* DuplicateAction;
    QAction* DeleteAction;
    QAction* UpAction;
    QAction* DownAction;

    void FormCreate();
    void EntryListBoxClick();
    void RefreshDetails();
    void ShowStatus(const QString& Text);
    void SendActionExecute();
    void NewActionExecute();
    void EditActionExecute();
    void DuplicateActionExecute();
    void DeleteActionExecute();
    void UpActionExecute();
    void DownActionExecute();
    void SwapEntries(int From, int To);
    void FullPathChkBoxClick();
    void AboutBtnClick();
    void DropDst1FileDrop(QObject* Sender, const QStringList& Files, int X, int Y);

    // The selected line, -1 when nothing is selected.
    int ItemIndex() const;
    void SetItemIndex(int Index);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes the controls; in mainformLayout.cpp.
    void CreateControls();
    void BuildToolBar();
    void BuildDetails();
    void BuildActions();
    void AppendLine(const QString& Text);
    void ShowCutName(const QHelpEvent* Event);

    const TStoreLocation Store;
    // The store could not be read at start; what is on disk then stays as it is.
    bool StoreUnreadable = false;
    // Selection changes the window makes itself are not the user's clicks.
    bool Syncing = false;
};

// What the details show of a local file path when not the full path: the text after the last
// "\", ":" or "/".
QString DisplayFileName(const QString& Path);

// The program's main window; null until the program creates it.
extern TForm1* Form1;

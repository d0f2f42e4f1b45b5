#include "ui/Program.h"

#include "transfer/UProgressForm.h"
#include "transfer/debug.h"
#include "ui/Application.h"
#include "ui/UAboutDialog.h"
#include "ui/entryEdit.h"
#include "ui/mainform.h"

int RunProgram(int argc, char** argv) {
    TApplication app(argc, argv);

    // Created once each, in this order, and kept until the program ends.
    TForm1 form1;
    TEntryEditDlg entryEditDlg;
    TDebugForm debugForm;
    TProgressForm progressForm;
    TAboutDlg aboutDlg;
    Form1 = &form1;
    EntryEditDlg = &entryEditDlg;
    DebugForm = &debugForm;
    ProgressForm = &progressForm;
    AboutDlg = &aboutDlg;
    // Closing the main window ends the program, whatever else is open.
    debugForm.setAttribute(Qt::WA_QuitOnClose, false);

    form1.show();
    const int status = app.exec();

    Form1 = nullptr;
    EntryEditDlg = nullptr;
    DebugForm = nullptr;
    ProgressForm = nullptr;
    AboutDlg = nullptr;
    return status;
}

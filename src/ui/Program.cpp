#include "ui/Program.h"

#include "transfer/UProgressForm.h"
#include "transfer/debug.h"
#include "ui/Application.h"
#include "ui/UAboutDialog.h"
#include "ui/entryEdit.h"
#include "ui/mainform.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int ExitUsage = 2;

const char Usage[] = "usage: zanvel-tftp [--help | --version]\n";

// Whether the command line asked a question the program answered without a window.
bool AnsweredWithoutWindow(int argc, char** argv) {
    if (argc != 2) {
        return false;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::fputs("zanvel-tftp " ZANVEL_VERSION "\n", stdout);
    } else if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        std::fputs("Keeps a list of named TFTP upload targets and uploads files to them from its\n"
                   "window. zanvel-send uploads through the same targets from scripts.\n"
                   "  --help     this text\n"
                   "  --version  the version\n",
                   stdout);
    } else {
        return false;
    }
    return true;
}

} // namespace

int RunProgram(int argc, char** argv) {
    // Asked before the application exists, so that a terminal without a display gets its answer.
    if (AnsweredWithoutWindow(argc, argv)) {
        return 0;
    }
    TApplication app(argc, argv);
    // The application took Qt's own options (-style, -platform, ...); nothing else is meant for
    // the window.
    if (app.arguments().size() > 1) {
        std::fprintf(stderr, "zanvel-tftp: unknown argument %s\n%s",
                     qPrintable(app.arguments().at(1)), Usage);
        return ExitUsage;
    }

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

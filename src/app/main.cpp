#include "Application.h"
#include "debug.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TDebugForm debugForm;
    DebugForm = &debugForm;
    // The trace window is the program's only window until the main window joins it.
    debugForm.show();
    const int result = app.exec();
    DebugForm = nullptr;
    return result;
}

#pragma once

#include <QString>

class QWidget;

// What the user chose when the main window could not simply save the entry store at close.
enum class TCloseChoice {
    Save,    // write the list into the store
    Discard, // quit and leave the store as it is
    Stay,    // keep the window open
};

// The store could not be read at start, so the list did not come from it: overwrite it with
// the list, quit without saving, or stay. Staying is the default.
TCloseChoice AskOverwriteUnreadableStore(QWidget* parent, const QString& Path);

// Saving failed with Message: stay, the default, so that the next close tries again, or quit
// without saving when the store cannot be written at all.
TCloseChoice AskAfterFailedSave(QWidget* parent, const QString& Message);

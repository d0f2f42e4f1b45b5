#pragma once

#include <QString>

// Whether the program in ProgramDir was installed, by a package or by `cmake --install`: it runs
// from the folder it was configured to be installed to, or an install put its README in
// <prefix>/share/doc/zanvel-tftp beside its <prefix>/bin. A program run where it was built, or
// copied somewhere by hand, has neither.
bool RunsInstalled(const QString& ProgramDir);

// The README the About dialog opens: the installed one, or the copy the build puts beside the
// executable. Empty when there is neither.
QString ReadmePath(const QString& ProgramDir);

#pragma once

namespace vesmera {

// Makes ShowMessageBox show a modal Qt message box. Only the program installs it; tests keep
// their recorders.
void InstallQtMessageBoxes();

} // namespace vesmera

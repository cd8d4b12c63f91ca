#pragma once

namespace vesmera {

// Makes ShowMessageBox show a modal Qt message box. Only the program installs it; tests keep
// their recorders. On a platform without windows nobody could answer a box, so its text goes
// to standard error and the box's default answer is taken.
void InstallQtMessageBoxes();

} // namespace vesmera

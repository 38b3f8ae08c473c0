#pragma once
// The screenshot tour: the desktop driven through its main screens as an operator would,
// a picture of each saved as PNG. The pictures of the README come from it.

#include <string>

namespace desk {

class MainWindow;

/// Opens the register, confirms the filter, marks every boleto, shows "Dados para
/// Recebimento", then opens the emission screen for one marked boleto and closes it; saves
/// login-less pictures of each into `dir`. Returns 0 when every picture was saved, 1 naming
/// on standard error the step that failed.
int runTour(MainWindow& window, const std::string& dir);

}  // namespace desk

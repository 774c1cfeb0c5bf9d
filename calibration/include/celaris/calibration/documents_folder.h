// The folder where the program proposes to keep calibrations and images:
// the user's documents folder followed by "Celaris/".
#pragma once

#include <QString>

namespace celaris::calibration {

// Ends in "/". $CELARIS_DOCUMENTS_DIR replaces the documents folder (tests,
// portable installs). The folder is created when missing; a failure to
// create it is ignored, as the file dialogs will say.
QString DocumentsFolder();

}  // namespace celaris::calibration

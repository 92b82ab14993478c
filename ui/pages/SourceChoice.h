// What the pages' open-file dialogs offer for picking sources: every file
// (the default), Notes databases, mail files; and a maildir (a folder
// holding cur and new) chosen like a file.
#pragma once

#include "ui/win/SourceFileDialog.h"

namespace sourcechoice {

win::FileChoice DatabasesAndMail();

}  // namespace sourcechoice

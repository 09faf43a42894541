#pragma once

#include "ui/DialogTemplate.h"

// The templates of the program's two windows.
const ui::DialogTemplate& MainDialogTemplate();
const ui::DialogTemplate& AboutDialogTemplate();

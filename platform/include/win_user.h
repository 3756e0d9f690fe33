// Win32 user interface and GDI subset (windows, dialogs, messages, bitmaps).
#pragma once

#include "win_base.h"

// The program's resources: icon 101, dialog 102 with the picture control 1001
// and the manifest, in the platform layer's resource form.
#pragma once

#include "windows.h"
#include "win_resource.h"

#define IDI_APP 101
#define IDD_VIEW 102
#define IDC_PICTURE 1001

// The module that WinMain is given: its resources are the ones above.
extern ModuleRecord kelvraneModule;

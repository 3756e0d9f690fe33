// Our own Linux rendering of the small part of the Win32 API that Kelvrane's
// application and capture library call. Only what those callers use is here.
#pragma once

#include "win_base.h"
#include "win_kernel.h"
#include "win_user.h"

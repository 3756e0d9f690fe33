#include "reader_internal.h"

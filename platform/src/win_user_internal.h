// Shared between the window and GDI halves of the user-interface layer.
#pragma once

#include "win_resource.h"

enum GdiKind { GDI_BITMAP, GDI_BRUSH, GDI_ICON, GDI_CURSOR };

struct GdiObject {
    GdiKind kind;
    bool stock;  // never freed; DeleteObject on it succeeds and does nothing
    // Bitmaps: 24-bit, bottom-up, rows padded to 4 bytes.
    int width;
    int height;
    int stride;
    unsigned char* bits;
    // Icons: the template they were loaded from.
    const IconTemplate* icon;
};

// Copies what painting needs of a live bitmap; false for a handle that is
// not (or no longer) a bitmap, so that a deleted one is never read.
bool bitmapPixels(HBITMAP bitmap, int* width, int* height, int* stride, const unsigned char** bits);

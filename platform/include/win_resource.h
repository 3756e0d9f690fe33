// Module resources in our layer's own form: the program lists its icon,
// dialog templates and manifest as plain records, and the platform's entry
// hands WinMain a module instance that carries that list. Dialog templates
// give what an extended dialog template gives, field by field.
#pragma once

#include "win_user.h"

#define RT_DIALOG 5
#define RT_GROUP_ICON 14
#define RT_MANIFEST 24

struct DialogItemTemplate {
    DWORD exStyle;
    DWORD style;
    short x, y, cx, cy;  // dialog units
    DWORD id;
    LPCSTR windowClass;  // by name, e.g. "Static"
    LPCSTR title;
};

struct DialogTemplate {
    DWORD exStyle;
    DWORD style;
    short x, y, cx, cy;  // dialog units
    LPCSTR menu;         // null: none
    LPCSTR windowClass;  // null: the dialog class
    LPCSTR title;
    WORD pointSize;      // font, with DS_SETFONT
    WORD weight;
    BYTE italic;
    BYTE charset;
    LPCSTR typeface;
    WORD itemCount;
    const DialogItemTemplate* items;
};

// A palette image: one character per pixel, '0'-'9' and 'a'-'f' indexing the
// palette, rows top to bottom.
struct IconTemplate {
    int width;
    int height;
    const RGBQUAD* palette;
    int colours;
    const char* const* rows;
};

struct ResourceEntry {
    WORD type;         // RT_...
    WORD id;
    const void* data;  // DialogTemplate, IconTemplate, or a NUL-terminated manifest text
};

struct ModuleRecord {
    const char* name;
    const ResourceEntry* resources;
    int resourceCount;
};

// The resource of a module by type and integer id, or null.
const ResourceEntry* FindResourceEntry(HINSTANCE instance, WORD type, LPCSTR name);

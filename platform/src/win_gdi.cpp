// GDI subset: 24-bit DIB sections, stock objects, icons and cursors.
#include "win_user_internal.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

namespace {

const DWORD kHeaderBytes = sizeof(BITMAPINFOHEADER);
const WORD kTrueColourBits = 24;
// Rows beyond this make no sense for a screen and would overflow the stride.
const LONG kMaxBitmapSide = 1 << 15;
// A brush, a cursor and a few icons are all a program asks for.
const int kMaxStockObjects = 64;

// Live objects, so that a stale or foreign handle is refused instead of freed
// twice. Never destroyed: other threads may still call in while the process ends.
struct GdiTable {
    std::mutex lock;
    std::set<const GdiObject*> live;
};
GdiTable& table() {
    static GdiTable* instance = new GdiTable;
    return *instance;
}

GdiObject* newObject(GdiKind kind) {
    GdiObject* object = new GdiObject;
    std::memset(object, 0, sizeof *object);
    object->kind = kind;
    return object;
}

}  // namespace

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    if (bits) *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section) return nullptr;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    // Only bottom-up, uncompressed 24-bit bitmaps are offered.
    if (header.biSize < kHeaderBytes || header.biPlanes != 1 || header.biBitCount != kTrueColourBits ||
        header.biCompression != BI_RGB || header.biWidth <= 0 || header.biHeight <= 0 ||
        header.biWidth > kMaxBitmapSide || header.biHeight > kMaxBitmapSide)
        return nullptr;
    const int stride = (header.biWidth * 3 + 3) & ~3;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(header.biHeight);
    unsigned char* pixels = static_cast<unsigned char*>(std::calloc(bytes, 1));
    if (!pixels) return nullptr;
    GdiObject* object = newObject(GDI_BITMAP);
    object->width = header.biWidth;
    object->height = header.biHeight;
    object->stride = stride;
    object->bits = pixels;
    {
        std::lock_guard<std::mutex> guard(table().lock);
        table().live.insert(object);
    }
    if (bits) *bits = pixels;
    return object;
}

int GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    std::lock_guard<std::mutex> guard(table().lock);
    if (!table().live.count(object) || object->kind != GDI_BITMAP) return 0;
    if (!buffer) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP description;
    description.bmType = 0;
    description.bmWidth = object->width;
    description.bmHeight = object->height;
    description.bmWidthBytes = object->stride;
    description.bmPlanes = 1;
    description.bmBitsPixel = kTrueColourBits;
    description.bmBits = object->bits;
    std::memcpy(buffer, &description, sizeof description);
    return sizeof(BITMAP);
}

BOOL DeleteObject(HGDIOBJ object) {
    {
        std::lock_guard<std::mutex> guard(table().lock);
        if (!table().live.count(object)) return FALSE;
        if (object->stock) return TRUE;
        table().live.erase(object);
    }
    std::free(object->bits);
    delete object;
    return TRUE;
}

bool bitmapPixels(HBITMAP bitmap, int* width, int* height, int* stride, const unsigned char** bits) {
    std::lock_guard<std::mutex> guard(table().lock);
    if (!table().live.count(bitmap) || bitmap->kind != GDI_BITMAP) return false;
    *width = bitmap->width;
    *height = bitmap->height;
    *stride = bitmap->stride;
    *bits = bitmap->bits;
    return true;
}

namespace {

HGDIOBJ stockObject(GdiKind kind, const void* key) {
    // One object per stock kind and key, made on first use and kept for ever.
    static std::mutex lock;
    static GdiObject* objects[kMaxStockObjects];
    static int objectCount = 0;
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < objectCount; ++i)
        if (objects[i]->kind == kind && (kind != GDI_ICON || objects[i]->icon == key)) return objects[i];
    if (objectCount == kMaxStockObjects) return nullptr;
    GdiObject* object = newObject(kind);
    object->stock = true;
    object->icon = static_cast<const IconTemplate*>(kind == GDI_ICON ? key : nullptr);
    objects[objectCount++] = object;
    std::lock_guard<std::mutex> tableGuard(table().lock);
    table().live.insert(object);
    return object;
}

}  // namespace

HGDIOBJ GetStockObject(int object) {
    if (object != NULL_BRUSH) return nullptr;
    return stockObject(GDI_BRUSH, nullptr);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || name != IDC_ARROW) return nullptr;
    return stockObject(GDI_CURSOR, nullptr);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    const ResourceEntry* entry = FindResourceEntry(instance, RT_GROUP_ICON, name);
    if (!entry) return nullptr;
    return stockObject(GDI_ICON, entry->data);
}

const ResourceEntry* FindResourceEntry(HINSTANCE instance, WORD type, LPCSTR name) {
    if (!instance || !IS_INTRESOURCE(name)) return nullptr;
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    for (int i = 0; i < instance->resourceCount; ++i) {
        const ResourceEntry& entry = instance->resources[i];
        if (entry.type == type && entry.id == id) return &entry;
    }
    return nullptr;
}

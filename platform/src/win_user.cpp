// Win32 windows, dialogs and messages over SDL2. Each top-level window is an
// SDL window; its children are records of ours, painted into it. Every SDL
// call is made on the user-interface thread (the one that created the
// windows); calls from other threads that must run there are queued and
// carried out inside that thread's PeekMessageA / GetMessageA.
#include "win_user_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Nominal non-client metrics: a captioned window's outer size less these is
// its client area, as on the desktop the program was laid out for.
const int kFrameWidth = 3;
const int kCaptionHeight = 26;
const int kDefaultWidth = 640;
const int kDefaultHeight = 480;
// Dialog base units of the dialog font, in pixels per 4 horizontal and per 8
// vertical dialog units.
const int kDialogBaseX = 6;
const int kDialogBaseY = 13;
// How long GetMessageA sleeps between looks at an empty queue.
const int kIdleWaitMs = 2;

const char kStaticClass[] = "static";
const char kDialogClass[] = "#32770";

const SDL_Color kFaceColour = {240, 240, 240, 255};
const SDL_Color kShadowColour = {160, 160, 160, 255};
const SDL_Color kHighlightColour = {255, 255, 255, 255};

}  // namespace

struct WindowRecord {
    std::string className;
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    std::string text;
    // Children: position in the parent's client area. Top-level: the outer
    // position, with x and y as given (CW_USEDEFAULT kept).
    int x = 0, y = 0;
    int width = 0, height = 0;        // outer size
    int clientWidth = 0, clientHeight = 0;
    bool visible = false;
    bool minimized = false;
    bool destroying = false;
    // Static bitmap controls.
    HBITMAP image = nullptr;
    bool imageChanged = false;
    SDL_Texture* texture = nullptr;
    // Top-level windows.
    SDL_Window* sdlWindow = nullptr;
    SDL_Renderer* renderer = nullptr;
    bool dirty = false;
};

namespace {

struct SentCall {
    std::function<LRESULT()> run;
    LRESULT result = 0;
    bool done = false;
};

struct UiState {
    std::recursive_mutex lock;
    std::condition_variable_any changed;
    std::map<std::string, WNDCLASSA> classes;
    std::set<HWND> windows;
    std::thread::id owner;
    bool ownerSet = false;
    std::deque<MSG> posted;
    std::deque<SentCall*> sent;
    bool quitPending = false;
    int quitCode = 0;
    bool videoReady = false;
};

// Never destroyed: the worker thread may still call in while the process ends.
UiState& ui() {
    static UiState* state = new UiState;
    return *state;
}

std::string classKey(LPCSTR name) {
    std::string key = name ? name : "";
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

bool onOwnerThread() {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    return !ui().ownerSet || ui().owner == std::this_thread::get_id();
}

bool alive(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    return window && ui().windows.count(window) && !window->destroying;
}

HWND topLevelOf(HWND window) {
    while (window && window->parent) window = window->parent;
    return window;
}

void markDirty(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    HWND top = topLevelOf(window);
    if (top) top->dirty = true;
}

// Runs work on the user-interface thread and waits for its result; on that
// thread itself, runs it at once.
LRESULT runOnOwner(const std::function<LRESULT()>& work) {
    if (onOwnerThread()) return work();
    SentCall call;
    call.run = work;
    std::unique_lock<std::recursive_mutex> lock(ui().lock);
    ui().sent.push_back(&call);
    ui().changed.notify_all();
    ui().changed.wait(lock, [&call] { return call.done; });
    return call.result;
}

void runSentCalls() {
    for (;;) {
        SentCall* call = nullptr;
        {
            std::lock_guard<std::recursive_mutex> guard(ui().lock);
            if (ui().sent.empty()) return;
            call = ui().sent.front();
            ui().sent.pop_front();
        }
        LRESULT result = call->run();
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        call->result = result;
        call->done = true;
        ui().changed.notify_all();
    }
}

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        if (!window || !ui().windows.count(window)) return 0;
        proc = window->proc;
    }
    return proc ? proc(window, message, wParam, lParam) : 0;
}

void sendSize(HWND window) {
    int w = 0, h = 0;
    bool minimized = false;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        minimized = window->minimized;
        w = minimized ? 0 : window->clientWidth;
        h = minimized ? 0 : window->clientHeight;
    }
    callProc(window, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELPARAM(w, h));
}

void setMinimized(HWND window, bool minimized) {
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        if (!alive(window) || window->minimized == minimized) return;
        window->minimized = minimized;
        window->dirty = true;
    }
    sendSize(window);
}

bool ensureVideo() {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (ui().videoReady) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    ui().videoReady = true;
    return true;
}

void setDrawColour(SDL_Renderer* renderer, SDL_Color colour) {
    SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, colour.a);
}

SDL_Surface* iconSurface(const IconTemplate* icon) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, icon->width, icon->height, 32,
                                                          SDL_PIXELFORMAT_RGBA32);
    if (!surface) return nullptr;
    for (int y = 0; y < icon->height; ++y) {
        unsigned char* row = static_cast<unsigned char*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < icon->width; ++x) {
            const char c = icon->rows[y][x];
            int index = (c >= 'a') ? c - 'a' + 10 : c - '0';
            if (index < 0 || index >= icon->colours) index = 0;
            const RGBQUAD& colour = icon->palette[index];
            row[4 * x + 0] = colour.rgbRed;
            row[4 * x + 1] = colour.rgbGreen;
            row[4 * x + 2] = colour.rgbBlue;
            row[4 * x + 3] = 255;
        }
    }
    return surface;
}

// Static bitmap control with SS_CENTERIMAGE: keeps its own size and shows the
// bitmap centred, clipped where it is larger.
void paintStatic(HWND control, SDL_Renderer* renderer, int originX, int originY) {
    SDL_Rect area = {originX, originY, control->width, control->height};
    setDrawColour(renderer, kFaceColour);
    SDL_RenderFillRect(renderer, &area);
    if (control->imageChanged) {
        if (control->texture) SDL_DestroyTexture(control->texture);
        control->texture = nullptr;
        int w = 0, h = 0, stride = 0;
        const unsigned char* bits = nullptr;
        if (control->image && bitmapPixels(control->image, &w, &h, &stride, &bits)) {
            control->texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_BGR24,
                                                 SDL_TEXTUREACCESS_STATIC, w, h);
            if (control->texture) SDL_UpdateTexture(control->texture, nullptr, bits, stride);
        }
        control->imageChanged = false;
    }
    if (control->texture) {
        int w = 0, h = 0;
        SDL_QueryTexture(control->texture, nullptr, nullptr, &w, &h);
        SDL_Rect target = {originX + (control->width - w) / 2, originY + (control->height - h) / 2, w, h};
        SDL_RenderSetClipRect(renderer, &area);
        // Rows are stored bottom-up.
        SDL_RenderCopyEx(renderer, control->texture, nullptr, &target, 0, nullptr, SDL_FLIP_VERTICAL);
        SDL_RenderSetClipRect(renderer, nullptr);
    }
    if (control->style & SS_SUNKEN) {
        const int right = originX + control->width - 1;
        const int bottom = originY + control->height - 1;
        setDrawColour(renderer, kShadowColour);
        SDL_RenderDrawLine(renderer, originX, originY, right, originY);
        SDL_RenderDrawLine(renderer, originX, originY, originX, bottom);
        setDrawColour(renderer, kHighlightColour);
        SDL_RenderDrawLine(renderer, originX, bottom, right, bottom);
        SDL_RenderDrawLine(renderer, right, originY, right, bottom);
    }
}

void paintChildren(HWND window, SDL_Renderer* renderer, int originX, int originY) {
    for (HWND child : window->children) {
        if (!child->visible) continue;
        const int x = originX + child->x;
        const int y = originY + child->y;
        if (child->className == kStaticClass && (child->style & 0x1F) == SS_BITMAP) {
            paintStatic(child, renderer, x, y);
        } else if (child->className == kDialogClass) {
            SDL_Rect area = {x, y, child->width, child->height};
            setDrawColour(renderer, kFaceColour);
            SDL_RenderFillRect(renderer, &area);
        }
        paintChildren(child, renderer, x, y);
    }
}

void paintTopLevel(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    window->dirty = false;
    if (!window->renderer || !window->visible || window->minimized) return;
    // The class brush is NULL_BRUSH: nothing erases, so start from black.
    SDL_SetRenderDrawColor(window->renderer, 0, 0, 0, 255);
    SDL_RenderClear(window->renderer);
    paintChildren(window, window->renderer, 0, 0);
    SDL_RenderPresent(window->renderer);
}

HWND windowOfSdl(Uint32 id) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    SDL_Window* sdl = SDL_GetWindowFromID(id);
    for (HWND window : ui().windows)
        if (window->sdlWindow && window->sdlWindow == sdl) return window;
    return nullptr;
}

void postToTopLevels(UINT message) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    for (HWND window : ui().windows)
        if (!window->parent) PostMessageA(window, message, 0, 0);
}

// Turns SDL's events into window messages and state, then repaints what changed.
void pumpPlatform() {
    runSentCalls();
    bool video = false;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        video = ui().videoReady;
    }
    if (!video) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            // The last window's close box, or SIGINT / SIGTERM.
            postToTopLevels(WM_CLOSE);
        } else if (event.type == SDL_WINDOWEVENT) {
            HWND window = windowOfSdl(event.window.windowID);
            if (!window) continue;
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE: PostMessageA(window, WM_CLOSE, 0, 0); break;
            case SDL_WINDOWEVENT_MINIMIZED: setMinimized(window, true); break;
            case SDL_WINDOWEVENT_RESTORED:
                setMinimized(window, false);
                markDirty(window);
                break;
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_EXPOSED: markDirty(window); break;
            default: break;
            }
        }
    }
    std::vector<HWND> dirty;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        for (HWND window : ui().windows)
            if (!window->parent && window->dirty) dirty.push_back(window);
    }
    for (HWND window : dirty) paintTopLevel(window);
}

LRESULT CALLBACK staticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == STM_SETIMAGE && wParam == IMAGE_BITMAP) {
        HBITMAP previous = nullptr;
        {
            std::lock_guard<std::recursive_mutex> guard(ui().lock);
            previous = window->image;
            window->image = reinterpret_cast<HBITMAP>(lParam);
            window->imageChanged = true;
        }
        markDirty(window);
        return reinterpret_cast<LRESULT>(previous);
    }
    if (message == STM_GETIMAGE && wParam == IMAGE_BITMAP) {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        return reinterpret_cast<LRESULT>(window->image);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        proc = window->dialogProc;
    }
    if (proc) {
        INT_PTR handled = proc(window, message, wParam, lParam);
        if (handled) return handled;
    }
    // A dialog is closed by its owner, not by the close message.
    if (message == WM_CLOSE) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerSystemClasses() {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (ui().classes.count(kStaticClass)) return;
    WNDCLASSA control = {};
    control.lpfnWndProc = staticProc;
    control.lpszClassName = kStaticClass;
    ui().classes[kStaticClass] = control;
    WNDCLASSA dialog = {};
    dialog.lpfnWndProc = dialogProc;
    dialog.lpszClassName = kDialogClass;
    ui().classes[kDialogClass] = dialog;
}

bool createSdlWindow(HWND window, HICON icon) {
    if (!ensureVideo()) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (window->exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (window->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    const int x = window->x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->x;
    const int y = window->x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->y;
    window->sdlWindow = SDL_CreateWindow(window->text.c_str(), x, y, window->clientWidth,
                                         window->clientHeight, flags);
    if (!window->sdlWindow) return false;
    window->renderer = SDL_CreateRenderer(window->sdlWindow, -1, SDL_RENDERER_SOFTWARE);
    if (!window->renderer) {
        SDL_DestroyWindow(window->sdlWindow);
        window->sdlWindow = nullptr;
        return false;
    }
    if (icon && icon->kind == GDI_ICON && icon->icon) {
        SDL_Surface* surface = iconSurface(icon->icon);
        if (surface) {
            SDL_SetWindowIcon(window->sdlWindow, surface);
            SDL_FreeSurface(surface);
        }
    }
    return true;
}

void releaseWindow(HWND window) {
    if (window->texture) SDL_DestroyTexture(window->texture);
    if (window->renderer) SDL_DestroyRenderer(window->renderer);
    if (window->sdlWindow) SDL_DestroyWindow(window->sdlWindow);
    delete window;
}

void destroyTree(HWND window) {
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        if (window->destroying) return;
    }
    // The window hears of its end before its children do, and all of them
    // while they still exist.
    callProc(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        window->destroying = true;
        children = window->children;
    }
    for (HWND child : children) destroyTree(child);
}

void removeTree(HWND window) {
    for (HWND child : window->children) removeTree(child);
    ui().windows.erase(window);
    releaseWindow(window);
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) return 0;
    registerSystemClasses();
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    const std::string key = classKey(windowClass->lpszClassName);
    if (key.empty() || ui().classes.count(key)) return 0;
    ui().classes[key] = *windowClass;
    return static_cast<ATOM>(0xC000 + ui().classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    const std::string key = classKey(className);
    if (key == kStaticClass || key == kDialogClass) return FALSE;
    for (HWND window : ui().windows)
        if (window->className == key) return FALSE;
    return ui().classes.erase(key) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID param) {
    registerSystemClasses();
    if (!onOwnerThread()) return nullptr;  // windows are made on the user-interface thread
    WNDCLASSA windowClass;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        auto found = ui().classes.find(classKey(className));
        if (found == ui().classes.end()) return nullptr;
        windowClass = found->second;
        if ((style & WS_CHILD) && !alive(parent)) return nullptr;
    }
    HWND window = new WindowRecord;
    window->className = classKey(className);
    window->proc = windowClass.lpfnWndProc;
    window->style = style;
    window->exStyle = exStyle;
    window->text = windowName ? windowName : "";
    window->x = x;
    window->y = y;
    if (style & WS_CHILD) {
        window->parent = parent;
        window->id = static_cast<int>(reinterpret_cast<ULONG_PTR>(menu));
        window->width = std::max(0, width);
        window->height = std::max(0, height);
        window->clientWidth = window->width;
        window->clientHeight = window->height;
    } else {
        window->width = width == CW_USEDEFAULT ? kDefaultWidth + 2 * kFrameWidth : width;
        window->height = width == CW_USEDEFAULT ? kDefaultHeight + 2 * kFrameWidth + kCaptionHeight : height;
        const bool framed = (style & WS_CAPTION) != 0;
        window->clientWidth = std::max(1, window->width - (framed ? 2 * kFrameWidth : 0));
        window->clientHeight =
            std::max(1, window->height - (framed ? 2 * kFrameWidth + kCaptionHeight : 0));
        if (!createSdlWindow(window, windowClass.hIcon)) {
            releaseWindow(window);
            return nullptr;
        }
    }
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        if (!ui().ownerSet) {
            ui().owner = std::this_thread::get_id();
            ui().ownerSet = true;
        }
        ui().windows.insert(window);
        if (window->parent) window->parent->children.push_back(window);
    }
    if (callProc(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (!alive(window)) return nullptr;
    sendSize(window);
    if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return window;
}

BOOL DestroyWindow(HWND window) {
    if (!alive(window)) return FALSE;
    if (!onOwnerThread()) return static_cast<BOOL>(runOnOwner([window] { return DestroyWindow(window); }));
    destroyTree(window);
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (window->parent) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
        markDirty(window->parent);
    }
    removeTree(window);
    for (auto it = ui().posted.begin(); it != ui().posted.end();)
        it = ui().windows.count(it->hwnd) || !it->hwnd ? it + 1 : ui().posted.erase(it);
    if (ui().windows.empty()) ui().ownerSet = false;
    return TRUE;
}

BOOL IsWindow(HWND window) { return alive(window) ? TRUE : FALSE; }

BOOL ShowWindow(HWND window, int command) {
    if (!alive(window)) return FALSE;
    if (!onOwnerThread())
        return static_cast<BOOL>(runOnOwner([=] { return ShowWindow(window, command); }));
    bool wasVisible = false;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        wasVisible = window->visible;
        window->visible = command != SW_HIDE;
        markDirty(window);
    }
    if (window->sdlWindow) {
        if (command == SW_HIDE) {
            SDL_HideWindow(window->sdlWindow);
        } else {
            SDL_ShowWindow(window->sdlWindow);
            if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) {
                SDL_MinimizeWindow(window->sdlWindow);
                setMinimized(window, true);
            } else if (window->minimized) {
                SDL_RestoreWindow(window->sdlWindow);
                setMinimized(window, false);
            }
        }
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
    if (!alive(window)) return FALSE;
    if (!onOwnerThread()) return static_cast<BOOL>(runOnOwner([=] { return UpdateWindow(window); }));
    HWND top = topLevelOf(window);
    paintTopLevel(top);
    return TRUE;
}

BOOL IsIconic(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    return alive(window) && window->minimized ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int width, int height, UINT flags) {
    if (!alive(window)) return FALSE;
    if (!onOwnerThread())
        return static_cast<BOOL>(runOnOwner([=] { return SetWindowPos(window, nullptr, x, y, width, height, flags); }));
    bool resized = false;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        if (!(flags & SWP_NOMOVE) && window->parent) {
            window->x = x;
            window->y = y;
        }
        // Top-level windows keep their size: none of ours can be resized.
        if (!(flags & SWP_NOSIZE) && window->parent) {
            width = std::max(0, width);
            height = std::max(0, height);
            resized = width != window->width || height != window->height;
            window->width = window->clientWidth = width;
            window->height = window->clientHeight = height;
        }
        markDirty(window);
    }
    if (resized) sendSize(window);
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!rect || !alive(window)) return FALSE;
    rect->left = rect->top = 0;
    // A minimized top-level window has no client area.
    rect->right = window->minimized ? 0 : window->clientWidth;
    rect->bottom = window->minimized ? 0 : window->clientHeight;
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!rect || !alive(window)) return FALSE;
    int x = window->x == CW_USEDEFAULT ? 0 : window->x;
    int y = window->x == CW_USEDEFAULT ? 0 : window->y;
    if (window->sdlWindow) {
        SDL_GetWindowPosition(window->sdlWindow, &x, &y);
        x -= kFrameWidth;
        y -= kFrameWidth + kCaptionHeight;
    }
    rect->left = x;
    rect->top = y;
    rect->right = x + window->width;
    rect->bottom = y + window->height;
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int capacity) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!text || capacity <= 0 || !alive(window)) return 0;
    const int n = std::min(capacity - 1, static_cast<int>(window->text.size()));
    std::memcpy(text, window->text.data(), static_cast<size_t>(n));
    text[n] = '\0';
    return n;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!alive(window)) return 0;
    if (index == GWL_STYLE) return static_cast<LONG_PTR>(window->style | (window->visible ? WS_VISIBLE : 0));
    if (index == GWL_EXSTYLE) return static_cast<LONG_PTR>(window->exStyle);
    return 0;
}

HWND GetParent(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    return alive(window) ? window->parent : nullptr;
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    const ResourceEntry* entry = FindResourceEntry(instance, RT_DIALOG, templateName);
    if (!entry || !entry->data) return nullptr;
    const DialogTemplate& dialog = *static_cast<const DialogTemplate*>(entry->data);
    if ((dialog.style & WS_CHILD) && !alive(parent)) return nullptr;
    auto pixelsX = [](int units) { return units * kDialogBaseX / 4; };
    auto pixelsY = [](int units) { return units * kDialogBaseY / 8; };
    // Made hidden, so that the procedure sees its controls before anything shows.
    HWND window = CreateWindowExA(dialog.exStyle, dialog.windowClass ? dialog.windowClass : kDialogClass,
                                  dialog.title, dialog.style & ~WS_VISIBLE, pixelsX(dialog.x),
                                  pixelsY(dialog.y), pixelsX(dialog.cx), pixelsY(dialog.cy), parent,
                                  nullptr, instance, nullptr);
    if (!window) return nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(ui().lock);
        window->dialogProc = proc;
    }
    for (int i = 0; i < dialog.itemCount; ++i) {
        const DialogItemTemplate& item = dialog.items[i];
        HMENU id = reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id));
        if (!CreateWindowExA(item.exStyle, item.windowClass, item.title, item.style | WS_CHILD,
                             pixelsX(item.x), pixelsY(item.y), pixelsX(item.cx), pixelsY(item.cy), window,
                             id, instance, nullptr)) {
            DestroyWindow(window);
            return nullptr;
        }
    }
    callProc(window, WM_INITDIALOG, 0, initParam);
    if (!alive(window)) return nullptr;
    if (dialog.style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return window;
}

HWND GetDlgItem(HWND dialog, int id) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!alive(dialog)) return nullptr;
    for (HWND child : dialog->children)
        if (child->id == id && !child->destroying) return child;
    return nullptr;
}

int GetDlgCtrlID(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    return alive(window) ? window->id : 0;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!alive(window)) return 0;
    // The window may be destroyed while the call waits its turn.
    return runOnOwner([=] { return alive(window) ? callProc(window, message, wParam, lParam) : 0; });
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (window && !alive(window)) return FALSE;
    MSG posted = {};
    posted.hwnd = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = SDL_GetTicks();
    ui().posted.push_back(posted);
    ui().changed.notify_all();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    ui().quitPending = true;
    ui().quitCode = exitCode;
    ui().changed.notify_all();
}

BOOL PeekMessageA(LPMSG message, HWND, UINT, UINT, UINT remove) {
    pumpPlatform();
    std::lock_guard<std::recursive_mutex> guard(ui().lock);
    if (!ui().posted.empty()) {
        if (message) *message = ui().posted.front();
        if (remove & PM_REMOVE) ui().posted.pop_front();
        return TRUE;
    }
    // The quit message comes when nothing else waits.
    if (ui().quitPending) {
        if (message) {
            *message = MSG{};
            message->message = WM_QUIT;
            message->wParam = static_cast<WPARAM>(ui().quitCode);
        }
        if (remove & PM_REMOVE) ui().quitPending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    MSG fetched;
    while (!PeekMessageA(&fetched, window, filterMin, filterMax, PM_REMOVE)) {
        std::unique_lock<std::recursive_mutex> lock(ui().lock);
        ui().changed.wait_for(lock, std::chrono::milliseconds(kIdleWaitMs));
    }
    if (message) *message = fetched;
    return fetched.message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    return callProc(message->hwnd, message->message, message->wParam, message->lParam);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    // Headless video drivers have no one to show a box to.
    if (ensureVideo()) {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0)
            SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text ? text : "", nullptr);
    }
    return IDOK;
}

// Win32 user interface and GDI subset (windows, dialogs, messages, bitmaps).
// Windows belong to the thread that created them (the user-interface thread);
// SendMessageA and SetWindowPos from any other thread are carried out by that
// thread inside its PeekMessageA / GetMessageA while the caller waits.
#pragma once

#include "win_base.h"

// Handles. Each is a distinct pointer type, as with the platform's strict
// handle types, so that a window cannot be passed where a bitmap is meant.
struct WindowRecord;
struct ModuleRecord;
struct GdiObject;
typedef WindowRecord* HWND;
typedef ModuleRecord* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef GdiObject* HGDIOBJ;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HICON;
typedef HICON HCURSOR;
typedef void* HMENU;
typedef void* HDC;
typedef WORD ATOM;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);


struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

// Resource names: small integers travel in the pointer, as on Win32.
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(name) ((reinterpret_cast<ULONG_PTR>(name) >> 16) == 0)

#define CW_USEDEFAULT (static_cast<int>(0x80000000))

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L

#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_STATICEDGE 0x00020000L

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

#define DS_SETFONT 0x40L
#define DS_FIXEDSYS 0x0008L

#define SS_BITMAP 0x0000000EL
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L
#define SS_SUNKEN 0x00001000L

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_INITDIALOG 0x0110
#define WM_USER 0x0400
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1

#define IMAGE_BITMAP 0

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define IDOK 1

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define NULL_BRUSH 5

#define LOWORD(value) (static_cast<WORD>(static_cast<ULONG_PTR>(value) & 0xFFFF))
#define HIWORD(value) (static_cast<WORD>((static_cast<ULONG_PTR>(value) >> 16) & 0xFFFF))
#define MAKELPARAM(low, high) \
    (static_cast<LPARAM>((static_cast<DWORD>(static_cast<WORD>(low))) | (static_cast<DWORD>(static_cast<WORD>(high)) << 16)))

// The program's entry point, called by the platform's main.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// Window classes and windows.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL IsIconic(HWND window);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
int GetWindowTextA(HWND window, LPSTR text, int capacity);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
HWND GetParent(HWND window);

// Dialogs from a dialog template of the module's resources.
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);

// Messages.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// The window and message-range filters are not offered: every message is seen.
BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Module resources.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);

// GDI: device-independent bitmaps (24-bit, uncompressed) and object deletion.
#define BI_RGB 0L
#define DIB_RGB_COLORS 0

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
int GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
BOOL DeleteObject(HGDIOBJ object);

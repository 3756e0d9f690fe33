#include "resources.h"

namespace {

// The sixteen colours of the icon; it uses white, black and red.
const RGBQUAD kIconPalette[16] = {
    {255, 255, 255, 0}, {0, 0, 0, 0},       {0, 0, 255, 0},     {128, 128, 128, 0},
    {192, 192, 192, 0}, {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
    {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {0, 255, 0, 0},
    {0, 255, 255, 0},   {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},
};

// A 14 x 14 symbol of 2-pixel modules in a red frame.
const char* const kIconRows[32] = {
    "22222222222222222222222222222222",
    "20000000000000000000000000000002",
    "20110011001100110011001100110002",
    "20110011001100110011001100110002",
    "20111111001100111100111111111102",
    "20111111001100111100111111111102",
    "20111100111100000011001100110002",
    "20111100111100000011001100110002",
    "20111111110011000011001111111102",
    "20111111110011000011001111111102",
    "20110011110011110000110000000002",
    "20110011110011110000110000000002",
    "20110011001111001111110000001102",
    "20110011001111001111110000001102",
    "20110011000000110000110011000002",
    "20110011000000110000110011000002",
    "20110000001111001111111111001102",
    "20110000001111001111111111001102",
    "20111111110011110000000011110002",
    "20111111110011110000000011110002",
    "20111100001111111111001111111102",
    "20111100001111111111001111111102",
    "20111100000000000011000000000002",
    "20111100000000000011000000000002",
    "20111111110011111111111111111102",
    "20111111110011111111111111111102",
    "20111111110000111111111100000002",
    "20111111110000111111111100000002",
    "20111111111111111111111111111102",
    "20111111111111111111111111111102",
    "20000000000000000000000000000002",
    "22222222222222222222222222222222",
};

const IconTemplate kAppIcon = {32, 32, kIconPalette, 16, kIconRows};

const DialogItemTemplate kViewItems[] = {
    {WS_EX_STATICEDGE | WS_EX_TRANSPARENT,
     WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_NOTIFY | SS_CENTERIMAGE | SS_SUNKEN, 7, 7, 16, 14, IDC_PICTURE,
     "Static", ""},
};

const DialogTemplate kViewDialog = {
    WS_EX_TRANSPARENT,
    WS_CHILD | WS_VISIBLE | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS,
    0, 0, 186, 90,
    nullptr, nullptr, "",
    8, 400, 0, 1, "MS Shell Dlg",
    1, kViewItems,
};

const char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
    "    <security><requestedPrivileges>\n"
    "      <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
    "    </requestedPrivileges></security>\n"
    "  </trustInfo>\n"
    "</assembly>\n";

const ResourceEntry kResources[] = {
    {RT_MANIFEST, 1, kManifest},
    {RT_GROUP_ICON, IDI_APP, &kAppIcon},
    {RT_DIALOG, IDD_VIEW, &kViewDialog},
};

}  // namespace

ModuleRecord kelvraneModule = {"kelvrane", kResources, sizeof kResources / sizeof kResources[0]};

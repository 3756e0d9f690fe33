# Win32 user interface and GDI over SDL2. SDL stays private to this library:
# its headers are seen by platform/src only.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELVRANE_SDL2 REQUIRED IMPORTED_TARGET sdl2)
add_library(kelvrane_platform_ui src/win_user.cpp src/win_gdi.cpp)
target_include_directories(kelvrane_platform_ui PUBLIC include)
target_link_libraries(kelvrane_platform_ui PUBLIC kelvrane_platform_kernel PRIVATE PkgConfig::KELVRANE_SDL2)
kelvrane_warnings(kelvrane_platform_ui)

# COM and DirectShow over GStreamer, with the scriptable fake that tests
# install in its place.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELVRANE_GST REQUIRED IMPORTED_TARGET
  gstreamer-1.0 gstreamer-app-1.0 gstreamer-video-1.0)

add_library(kelvrane_platform_directshow
  src/com.cpp
  src/guids.cpp
  src/dshow_graph.cpp
  src/dshow_fake.cpp
  src/dshow_gstreamer.cpp)
target_include_directories(kelvrane_platform_directshow PUBLIC include)
target_link_libraries(kelvrane_platform_directshow
  PUBLIC kelvrane_platform_kernel
  PRIVATE PkgConfig::KELVRANE_GST)
kelvrane_warnings(kelvrane_platform_directshow)

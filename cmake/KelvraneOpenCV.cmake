# OpenCV from Debian's per-module packages (libopencv-core-dev and friends).
# Those packages ship no CMake config (that comes only with the libopencv-dev
# meta package and all its modules), so the three modules we use are found
# here and offered as imported targets opencv_core, opencv_imgproc and
# opencv_imgcodecs. Imported include directories are system includes, so
# OpenCV's own warnings stay out of our -Werror builds.
find_path(KELVRANE_OPENCV_INCLUDE opencv2/core/core_c.h PATH_SUFFIXES opencv4 REQUIRED)
foreach(module core imgproc imgcodecs)
  find_library(KELVRANE_OPENCV_${module} opencv_${module} REQUIRED)
  add_library(opencv_${module} SHARED IMPORTED GLOBAL)
  set_target_properties(opencv_${module} PROPERTIES
    IMPORTED_LOCATION ${KELVRANE_OPENCV_${module}}
    INTERFACE_INCLUDE_DIRECTORIES ${KELVRANE_OPENCV_INCLUDE})
endforeach()
set_property(TARGET opencv_imgproc PROPERTY INTERFACE_LINK_LIBRARIES opencv_core)
set_property(TARGET opencv_imgcodecs PROPERTY INTERFACE_LINK_LIBRARIES opencv_core)

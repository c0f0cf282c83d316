# Cross-compiling for Windows with mingw-w64.
#   VARNOBEL_ARCH          i686 (the shipped 32-bit exe, the default) or x86_64
#   VARNOBEL_THREAD_MODEL  win32 (the default) keeps the exe's imports to what
#                          Windows 95 and NT 4 have; posix has std::mutex, which
#                          GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)

if(NOT VARNOBEL_ARCH)
  set(VARNOBEL_ARCH i686)
endif()
if(NOT VARNOBEL_THREAD_MODEL)
  set(VARNOBEL_THREAD_MODEL win32)
endif()
set(VARNOBEL_ARCH ${VARNOBEL_ARCH} CACHE STRING "mingw-w64 target architecture" FORCE)
set(VARNOBEL_THREAD_MODEL ${VARNOBEL_THREAD_MODEL} CACHE STRING "mingw-w64 thread model" FORCE)

set(CMAKE_SYSTEM_PROCESSOR ${VARNOBEL_ARCH})
set(triple ${VARNOBEL_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-${VARNOBEL_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${triple}-g++-${VARNOBEL_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)

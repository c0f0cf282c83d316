# Cross-compiling for 32-bit Windows with mingw-w64. VARNOBEL_THREAD_MODEL picks
# the compiler: "win32" (the default) keeps the exe's imports to what Windows 95
# and NT 4 have; "posix" has std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

if(NOT VARNOBEL_THREAD_MODEL)
  set(VARNOBEL_THREAD_MODEL win32)
endif()
set(VARNOBEL_THREAD_MODEL ${VARNOBEL_THREAD_MODEL} CACHE STRING "mingw-w64 thread model" FORCE)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${VARNOBEL_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${VARNOBEL_THREAD_MODEL})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)

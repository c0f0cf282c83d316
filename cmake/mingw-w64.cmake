# Cross-compiling for Windows with mingw-w64.
#   VARNOBEL_ARCH          i686 (the shipped 32-bit exe, the default) or x86_64
#   VARNOBEL_THREAD_MODEL  win32 (the default) keeps the exe's imports to what
#                          Windows 95 and NT 4 have; posix has std::mutex, which
#                          GoogleTest needs.
# The shipped exe's build (i686, win32) runs on any i486: its code is built
# with -march=i486 and linked against a runtime rebuilt the same way
# (tools/build-i486-runtime, which builds it once into a cache). The test
# builds with the posix thread model keep Debian's i686 runtime.
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

if(VARNOBEL_ARCH STREQUAL "i686" AND VARNOBEL_THREAD_MODEL STREQUAL "win32")
  # CMake reads this file again for every compiler check; the script answers
  # at once when the cache has the runtime.
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/build-i486-runtime
                  OUTPUT_VARIABLE VARNOBEL_I486_RUNTIME
                  OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE runtime_status)
  if(NOT runtime_status EQUAL 0 OR NOT EXISTS "${VARNOBEL_I486_RUNTIME}/complete")
    message(FATAL_ERROR "tools/build-i486-runtime could not build the i486 runtime")
  endif()
  # Debian's compiler defaults to the Pentium Pro, whose cmov and fcomi a 486,
  # a Pentium, a K6 or a Vortex86 lacks: our code is built with the flags the
  # runtime was built with.
  file(STRINGS "${VARNOBEL_I486_RUNTIME}/flags" VARNOBEL_CPU_FLAGS)
  set(CMAKE_C_FLAGS_INIT "${VARNOBEL_CPU_FLAGS}")
  set(CMAKE_CXX_FLAGS_INIT "${VARNOBEL_CPU_FLAGS}")
  # -B puts the directory first where the driver looks for crt2.o,
  # crtbegin.o and crtend.o, and first among the -L paths for -lstdc++,
  # -lgcc, -lgcc_eh, -lmingw32, -lmingwex, -lmsvcrt, -lmoldname, -lkernel32
  # and -lshell32. The other import libraries, which hold no code, still come
  # from the toolchain.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-B${VARNOBEL_I486_RUNTIME}/lib/")
endif()

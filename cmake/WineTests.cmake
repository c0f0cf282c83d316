# In the win32 build the shipped exe is made with the win32 thread model, but
# GoogleTest needs the posix one. So the test programs are a second build of
# this same source tree, below build/win32/wine-tests, whose CTest file this
# build includes. Its programs run under Wine through tools/wine-run. It builds
# the exe too, so that the end-to-end tests have a Varnobel.exe Wine can run.
#
# A machine whose kernel cannot run 32-bit Linux programs cannot run 32-bit
# Wine either; the test programs are then built for x86_64 and run under the
# 64-bit Wine, which has the same Windows API underneath.
include(ExternalProject)

if(NOT VARNOBEL_WINE_ARCH)
  execute_process(COMMAND timeout 60 /usr/lib/wine/wine --version
                  RESULT_VARIABLE wine32_status OUTPUT_QUIET ERROR_QUIET)
  if(wine32_status EQUAL 0)
    set(VARNOBEL_WINE_ARCH i686)
  else()
    set(VARNOBEL_WINE_ARCH x86_64)
  endif()
  message(STATUS "Test programs under Wine are built for ${VARNOBEL_WINE_ARCH}")
endif()
set(VARNOBEL_WINE_ARCH ${VARNOBEL_WINE_ARCH} CACHE STRING "Architecture of the test programs run under Wine")

set(wine_tests_dir ${CMAKE_BINARY_DIR}/wine-tests)
ExternalProject_Add(wine_tests
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${wine_tests_dir}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
    -DVARNOBEL_ARCH=${VARNOBEL_WINE_ARCH}
    -DVARNOBEL_THREAD_MODEL=posix
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DVARNOBEL_BUILD_EXE=ON
    -DVARNOBEL_WINE_TESTS=OFF
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# CTest reads this file; the inner build's tests exist once it has been built.
file(WRITE ${CMAKE_BINARY_DIR}/wine-tests.cmake
  "if(EXISTS \"${wine_tests_dir}/CTestTestfile.cmake\")\n"
  "  subdirs(\"${wine_tests_dir}\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/wine-tests.cmake)

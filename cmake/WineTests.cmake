# In the win32 build the shipped exe is made with the win32 thread model, but
# GoogleTest needs the posix one. So the test programs are further builds of
# this same source tree, whose CTest files this build includes. Their
# programs run under Wine through tools/wine-run. None of them builds the exe:
# the end-to-end tests run this build's Varnobel.exe, the bytes that ship.
#
#   wine-tests-i686    the conformance suite in a 32-bit prefix and, under
#                      WOW64, in a 64-bit one; the pool tests; the
#                      end-to-end driver and tests; the benchmark's smoke run
#   wine-tests-x86_64  the conformance suite as a 64-bit program in a 64-bit
#                      prefix, the one place a 64-bit process is the subject
#
# Nothing here depends on whether 32-bit Wine runs when CMake does; the tests
# themselves say so when it does not (tools/wine-run).
include(ExternalProject)

set(VARNOBEL_SHIPPED_EXE ${CMAKE_BINARY_DIR}/Varnobel.exe)

# A compiler or linker launcher (ccache, benchmarks/build-times) given to
# this build is given to the inner ones too.
set(VARNOBEL_LAUNCHER_ARGS)
foreach(launcher CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
                 CMAKE_C_LINKER_LAUNCHER CMAKE_CXX_LINKER_LAUNCHER)
  if(${launcher})
    list(APPEND VARNOBEL_LAUNCHER_ARGS -D${launcher}=${${launcher}})
  endif()
endforeach()

function(varnobel_wine_test_build name arch benchmarks)
  set(binary_dir ${CMAKE_BINARY_DIR}/${name})
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${binary_dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
      -DVARNOBEL_ARCH=${arch}
      -DVARNOBEL_THREAD_MODEL=posix
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DVARNOBEL_BUILD_EXE=OFF
      -DVARNOBEL_WINE_TESTS=OFF
      -DVARNOBEL_SHIPPED_EXE=${VARNOBEL_SHIPPED_EXE}
      -DVARNOBEL_BUILD_BENCHMARKS=${benchmarks}
      ${VARNOBEL_LAUNCHER_ARGS}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS Varnobel)
  # CTest reads this file; the inner build's tests exist once it has been built.
  file(WRITE ${CMAKE_BINARY_DIR}/${name}.cmake
    "if(EXISTS \"${binary_dir}/CTestTestfile.cmake\")\n"
    "  subdirs(\"${binary_dir}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/${name}.cmake)
endfunction()

varnobel_wine_test_build(wine-tests-i686 i686 ON)
varnobel_wine_test_build(wine-tests-x86_64 x86_64 OFF)

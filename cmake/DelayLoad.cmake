# setupapi.dll is not on Windows 95 and not on every NT 4.0, and the loader
# refuses an exe that imports from a DLL it cannot find. The device-interface
# pass only runs on Windows 2000 and later, so its four functions are bound
# when first called instead: a delay-load import library made by dlltool
# stands in for setupapi's own.
set(setupapi_functions
  "SetupDiGetClassDevsA 16"
  "SetupDiEnumDeviceInterfaces 20"
  "SetupDiGetDeviceInterfaceDetailA 24"
  "SetupDiDestroyDeviceInfoList 4")

set(def_file ${CMAKE_BINARY_DIR}/setupapi-delay.def)
set(def_text "LIBRARY setupapi.dll\nEXPORTS\n")
foreach(entry IN LISTS setupapi_functions)
  separate_arguments(entry)
  list(GET entry 0 function)
  list(GET entry 1 argument_bytes)
  # 32-bit stdcall names carry the size of their arguments.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(APPEND def_text "${function}@${argument_bytes}\n")
  else()
    string(APPEND def_text "${function}\n")
  endif()
endforeach()
file(WRITE ${def_file} "${def_text}")

set(delay_library ${CMAKE_BINARY_DIR}/libsetupapi_delay.a)
add_custom_command(
  OUTPUT ${delay_library}
  COMMAND ${VARNOBEL_DLLTOOL} --input-def ${def_file} --dllname setupapi.dll
          --output-delaylib ${delay_library} --kill-at
  DEPENDS ${def_file} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Making the delay-load import library of setupapi.dll")
add_custom_target(setupapi_delay_library DEPENDS ${delay_library})

add_library(setupapi_delayed STATIC IMPORTED GLOBAL)
set_target_properties(setupapi_delayed PROPERTIES IMPORTED_LOCATION ${delay_library})
add_dependencies(setupapi_delayed setupapi_delay_library)

# The Windows build (cmake/toolchains/mingw-w64.cmake, preset "windows"): the command line's
# libraries, without the window, the simulator (it needs pseudo-terminals), the fuzz harnesses
# and the benchmarks. A layer builds here once the platform code below it exists for Windows;
# ZRK_WINDOWS_LAYERS names them, bottom up, and only their tests are built.
set(ZRK_WINDOWS_LAYERS files serial engine bringup loader filesystem protocol report station cli)
# The layers whose tests build here. The others' tests still drive a phone simulator on a
# pseudo-terminal or name POSIX headers; they join as they are made to run under Wine.
set(ZRK_WINDOWS_TEST_LAYERS files serial engine bringup loader filesystem report station)

# The header-only libraries come from the host's /usr/include, where glibc's headers live too:
# a folder holding links to just them is what the cross compiler is shown, so that a POSIX
# header stays missing. zlib is the cross-built one (libz-mingw-w64-dev), linked statically.
set(_hostHeaders ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_hostHeaders})
foreach(_header nlohmann CLI)
  if(NOT EXISTS /usr/include/${_header})
    message(FATAL_ERROR "/usr/include/${_header} is missing (nlohmann-json3-dev, libcli11-dev)")
  endif()
  file(CREATE_LINK /usr/include/${_header} ${_hostHeaders}/${_header} SYMBOLIC)
endforeach()
add_library(zrk_host_headers INTERFACE)
target_include_directories(zrk_host_headers SYSTEM INTERFACE ${_hostHeaders})
add_library(CLI11::CLI11 ALIAS zrk_host_headers)
# report/ asks for the package by name.
set(_jsonPackage ${CMAKE_BINARY_DIR}/host-packages/nlohmann_json)
file(WRITE ${_jsonPackage}/nlohmann_jsonConfig.cmake
     "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
     "  add_library(nlohmann_json::nlohmann_json ALIAS zrk_host_headers)\n"
     "endif()\n")
file(WRITE ${_jsonPackage}/nlohmann_jsonConfigVersion.cmake
     "set(PACKAGE_VERSION 3.11)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
set(nlohmann_json_DIR ${_jsonPackage} CACHE PATH "" FORCE)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
# libdeflate's CRC-32 call, answered by zlib (cmake/windows/include/libdeflate.h).
add_library(zrk_crc32 INTERFACE)
target_include_directories(zrk_crc32 SYSTEM INTERFACE ${CMAKE_SOURCE_DIR}/cmake/windows/include)
target_link_libraries(zrk_crc32 INTERFACE ZLIB::ZLIB)

# Wide-character entry points (CreateFileW and its kin) and nothing older than Windows 7.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

include(cmake/TargetImages.cmake)
include(cmake/Layering.cmake)

# The layers, as in the top-level file, for those in ZRK_WINDOWS_LAYERS.
macro(zrk_windows_layer layer)
  if(${layer} IN_LIST ZRK_WINDOWS_LAYERS)
    set(_build ON)
  else()
    set(_build OFF)
  endif()
endmacro()

zrk_windows_layer(files)
if(_build)
  add_library(zrk_files STATIC)
  target_include_directories(zrk_files PUBLIC ${CMAKE_SOURCE_DIR})
  add_subdirectory(files)
endif()
zrk_windows_layer(serial)
if(_build)
  add_library(zrk_serial STATIC)
  target_include_directories(zrk_serial PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(zrk_serial PUBLIC zrk_files Threads::Threads)
  add_subdirectory(serial)
endif()
zrk_windows_layer(engine)
if(_build)
  add_library(zrk_core STATIC)
  target_link_libraries(zrk_core PUBLIC zrk_serial zrk_target_images PRIVATE zrk_crc32)
  add_subdirectory(engine)
endif()
foreach(_phase bringup loader filesystem)
  zrk_windows_layer(${_phase})
  if(_build)
    add_library(zrk_${_phase} STATIC)
    target_link_libraries(zrk_${_phase} PUBLIC zrk_core)
    add_subdirectory(${_phase})
  endif()
endforeach()
zrk_windows_layer(protocol)
if(_build)
  add_library(zrk_protocol STATIC)
  target_link_libraries(zrk_protocol PUBLIC zrk_bringup zrk_loader zrk_filesystem)
  add_subdirectory(protocol)
endif()
foreach(_layer report station cli)
  zrk_windows_layer(${_layer})
  if(_build)
    add_subdirectory(${_layer})
  endif()
endforeach()

# The installer and the zip, once the command line builds here.
if(TARGET zrk410)
  add_subdirectory(packaging/windows)
endif()

add_library(zrk_test_fakes INTERFACE)
target_include_directories(zrk_test_fakes INTERFACE ${CMAKE_SOURCE_DIR}/tests)

if(ZRK_BUILD_TESTS)
  # GoogleTest from Debian's sources, built with this compiler (there is no Windows build of it
  # to find).
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Debian's sources warn under this project's flags; they are not ours to fix.
  foreach(_gtest gtest gtest_main gmock gmock_main)
    target_compile_options(${_gtest} PRIVATE -w)
  endforeach()
  add_library(zrk_test_support INTERFACE)
  target_link_libraries(zrk_test_support INTERFACE zrk_test_fakes gtest gmock gtest_main)

  # One executable per folder, as on Linux. They run under Wine (tools/wine-test), which reads
  # their list from windows-tests.txt here rather than asking each for its cases at build time.
  set_property(GLOBAL PROPERTY ZRK_WINDOWS_TESTS "")
  function(zrk_add_test_suite name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE zrk_test_support)
    set_property(GLOBAL APPEND PROPERTY ZRK_WINDOWS_TESTS "$<TARGET_FILE:${name}>")
  endfunction()
  foreach(_layer IN LISTS ZRK_WINDOWS_TEST_LAYERS)
    if(EXISTS ${CMAKE_SOURCE_DIR}/tests/${_layer}/CMakeLists.txt)
      add_subdirectory(tests/${_layer})
    endif()
  endforeach()
  get_property(_tests GLOBAL PROPERTY ZRK_WINDOWS_TESTS)
  list(JOIN _tests "\n" _tests)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows-tests.txt CONTENT "${_tests}\n")
endif()

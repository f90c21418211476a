# Windows build settings, included from the top-level build file when the target is Windows.

# Unicode Win32 API; no min/max macros; Windows 7 as the oldest system.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# Everything static: the programs and test programs run without any DLL beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

# GoogleTest for the target, from the Debian package "googletest" (sources only).
set(ORN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for the target")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ORN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Test programs run under Wine in a prefix of their own below the build folder. The prefix is
# made afresh by the fixture test "wine_prefix" at the start of every CTest run and its
# server is stopped by "wine_stop" at the end.
set(ORN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(ORN_WINE_ENV WINEPREFIX=${ORN_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
find_program(ORN_WINE wine)
if(ORN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${ORN_WINE_ENV} ${ORN_WINE})
  add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh ${ORN_WINEPREFIX})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine LABELS "unit;e2e" TIMEOUT 300)
  add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh ${ORN_WINEPREFIX} stop)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine LABELS "unit;e2e")
else()
  message(WARNING "wine not found: the Windows test programs build but cannot run")
endif()

# A test that runs a Windows program needs the Wine prefix.
function(orn_wine_test name)
  if(ORN_WINE)
    # Wine reports a crash on the output and may still end the program with status 0: a
    # crash fails the test whatever the status says.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         FAIL_REGULAR_EXPRESSION "wine: Unhandled|\\[  FAILED  \\]")
  endif()
endfunction()

# The build runs two of the project's own programs: the art generator (each product's picture,
# mask and icon) and the form-description maker. They must run on the build machine. With
# ORN_HOST_TOOLS naming a native build folder of this source tree in which they are built
# (./scripts/test passes its own), they are taken from there; otherwise the Windows build
# builds them for the host first, in a host build of this same source tree under <build>/host
# (configured and built by the host compiler as a separate project).
set(ORN_HOST_TOOLS "" CACHE PATH "Native build folder whose orn_artgen and orn_formgen to use")
if(ORN_HOST_TOOLS)
  set(ORN_HOST_BUILD ${ORN_HOST_TOOLS})
else()
  set(ORN_HOST_BUILD ${CMAKE_BINARY_DIR}/host)
endif()
set(ORN_HOST_ARTGEN ${ORN_HOST_BUILD}/tools/orn_artgen)
set(ORN_HOST_FORMGEN ${ORN_HOST_BUILD}/app/orn_formgen)
if(NOT ORN_HOST_TOOLS)
  include(ExternalProject)
  ExternalProject_Add(orn_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${ORN_HOST_BUILD}
    # Debug: quickest to compile; the art generator optimises itself.
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Debug
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${ORN_HOST_BUILD} --parallel 2 --target orn_artgen
                  orn_formgen
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ORN_HOST_ARTGEN} ${ORN_HOST_FORMGEN}
    INSTALL_COMMAND "")
endif()
foreach(tool artgen formgen)
  add_executable(orn_${tool} IMPORTED GLOBAL)
  string(TOUPPER ${tool} TOOL)
  set_target_properties(orn_${tool} PROPERTIES IMPORTED_LOCATION ${ORN_HOST_${TOOL}}
                                               CROSSCOMPILING_EMULATOR "")
  if(NOT ORN_HOST_TOOLS)
    add_dependencies(orn_${tool} orn_host_tools)
  endif()
endforeach()

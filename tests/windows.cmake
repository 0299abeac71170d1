# The tests that also run against the Windows DLL: cross-built with MinGW and run by CTest
# under wine (the toolchain file names it as the emulator). Only tests that drive the module
# through LoadedModule and GLTestContext belong here; the rest need Linux machinery.
find_package(GTest REQUIRED CONFIG)

add_library(testsupport STATIC support/LoadedModule.cpp support/GLTestContext.cpp)
target_include_directories(testsupport PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(testsupport PUBLIC glcontext GTest::gtest)
# File names only: the test programs are put beside the DLLs and load them from there, so the
# output folder can be copied to a Windows machine and run as it is.
target_compile_definitions(testsupport PRIVATE
  VEX_MODULE_PATH="$<TARGET_FILE_NAME:VexASCII>"
  TEST_PLUGIN_MODULE_PATH="FFGLTestPlugin.dll")
add_dependencies(testsupport VexASCII)

# vex_windows_test(NAME SOURCES...): one test program, run whole as one CTest test (listing its
# cases would start wine once per case).
function(vex_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE testsupport GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:VexASCII>)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

vex_windows_test(render_smoke_test render_smoke_test.cpp)
vex_windows_test(host_session_test host_session_test.cpp)

# The tests that also run against the Windows DLLs: cross-built with MinGW and run by CTest
# under wine (the toolchain file names it as the emulator). They are the Linux tests' own
# sources, those that need nothing beyond LoadedModule, GLTestContext and GLProbe's GL queries.
# Left out: shader_program_test, which reads the diagnostic channel on standard error where
# Windows has OutputDebugStringA, and the export check, which the Windows stage does with
# objdump. plughost is not built for Windows yet.
find_package(GTest REQUIRED CONFIG)

# Every DLL and test program goes into one folder: the programs load the DLLs from beside
# themselves (file names only), so the folder can be copied to a Windows machine and run there.
set(vex_windows_output ${PROJECT_BINARY_DIR})

add_ffgl_module(FFGLTestPlugin SOURCES testplugin/TestPlugin.cpp
  DEF ${CMAKE_CURRENT_SOURCE_DIR}/testplugin/TestPlugin.def)
set_target_properties(FFGLTestPlugin PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${vex_windows_output})

add_library(testsupport STATIC support/LoadedModule.cpp support/GLTestContext.cpp)
target_include_directories(testsupport PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(testsupport PUBLIC glcontext GTest::gtest)
target_compile_definitions(testsupport PRIVATE
  VEX_MODULE_PATH="$<TARGET_FILE_NAME:VexASCII>"
  TEST_PLUGIN_MODULE_PATH="$<TARGET_FILE_NAME:FFGLTestPlugin>")
add_dependencies(testsupport VexASCII FFGLTestPlugin)

# vex_windows_test(NAME SOURCES...): one test program, run whole as one CTest test (listing its
# cases would start wine once per case).
function(vex_windows_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE testsupport GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${vex_windows_output})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

vex_windows_test(render_smoke_test render_smoke_test.cpp)
vex_windows_test(dispatch_test dispatch_test.cpp)
vex_windows_test(registry_test registry_test.cpp ${PROJECT_SOURCE_DIR}/framework/CFFGLPluginManager.cpp)
vex_windows_test(instance_base_test instance_base_test.cpp)
vex_windows_test(registration_test registration_test.cpp ${PROJECT_SOURCE_DIR}/host/PluginInfo.cpp)
vex_windows_test(gl_loading_test gl_loading_test.cpp)
vex_windows_test(gltoolkit_test gltoolkit_test.cpp)
target_link_libraries(gltoolkit_test PRIVATE ffglhost)
vex_windows_test(pixel_test pixel_test.cpp model/AsciiModel.cpp
  ${PROJECT_SOURCE_DIR}/effect/VexASCII.cpp ${PROJECT_SOURCE_DIR}/effect/AsciiShaders.cpp)
target_link_libraries(pixel_test PRIVATE ffglhost)

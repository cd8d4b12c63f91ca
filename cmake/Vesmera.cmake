# One static library per source folder: every .cpp of the folder (not its subfolders).
function(vesmera_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${dir}/*.h)
  if(srcs)
    add_library(${name} STATIC ${srcs} ${hdrs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    # A folder that so far holds only interfaces.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One test executable per tests/ folder, each GoogleTest case a CTest test.
# Widget tests run on Qt's offscreen platform, and no test may reach a real session bus.
function(vesmera_test name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/vesmera-no-bus;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1"
    TIMEOUT 300)
endfunction()

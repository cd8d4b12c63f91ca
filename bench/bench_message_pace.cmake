# The real program on a private Xvfb, its window grabbed from this process.
target_sources(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/program_harness.cpp)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(${n} PRIVATE Qt6::Gui)
target_compile_definitions(${n} PRIVATE VESMERA_EXECUTABLE="$<TARGET_FILE:vesmera>")
add_dependencies(${n} vesmera)

# The real program on a private bus, answered by the terminal simulator's protocol code.
target_sources(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/program_harness.cpp
                            ${PROJECT_SOURCE_DIR}/tests/app/live_program.cpp)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(${n} PRIVATE terminal_sim_protocol Qt6::DBus Qt6::Gui)
target_compile_definitions(${n} PRIVATE VESMERA_EXECUTABLE="$<TARGET_FILE:vesmera>")
add_dependencies(${n} vesmera)

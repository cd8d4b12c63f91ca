# The real program against the terminal simulator's protocol code on a pseudo-terminal.
target_sources(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/program_harness.cpp)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app)
target_link_libraries(${n} PRIVATE terminal_sim_protocol Qt6::Gui)
target_compile_definitions(${n} PRIVATE VESMERA_EXECUTABLE="$<TARGET_FILE:vesmera>")
add_dependencies(${n} vesmera)

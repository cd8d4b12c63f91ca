# The real program in network mode against the weight-server simulator, on a private bus.
target_sources(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/program_harness.cpp)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(${n} PRIVATE Qt6::DBus Qt6::Gui)
target_compile_definitions(${n} PRIVATE VESMERA_EXECUTABLE="$<TARGET_FILE:vesmera>"
                                        VESMERA_WEIGHT_SERVER_SIM="$<TARGET_FILE:weight-server-sim>")
add_dependencies(${n} vesmera weight-server-sim)

# The real program in network mode against a weight server in this process, on a private bus;
# a preloaded library stands in for a name server that never answers.
add_library(vesmera_blackhole_resolver SHARED ${CMAKE_CURRENT_SOURCE_DIR}/blackhole_resolver.cpp)
target_sources(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app/program_harness.cpp)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/app ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(${n} PRIVATE Qt6::DBus Qt6::Gui)
target_compile_definitions(${n} PRIVATE VESMERA_EXECUTABLE="$<TARGET_FILE:vesmera>"
                           VESMERA_BLACKHOLE_RESOLVER="$<TARGET_FILE:vesmera_blackhole_resolver>")
add_dependencies(${n} vesmera vesmera_blackhole_resolver)

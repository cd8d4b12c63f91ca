# The bus round trip is measured against the stand-in program of the automation tests, which
# has no poll timers, on a private bus.
target_link_libraries(${n} PRIVATE vesmera_automation vesmera_event Qt6::DBus Qt6::Core)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests/automation ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(${n} PRIVATE VESMERA_HARNESS="$<TARGET_FILE:automation_harness>")
add_dependencies(${n} automation_harness)

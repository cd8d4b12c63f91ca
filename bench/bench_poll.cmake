target_link_libraries(${n} PRIVATE vesmera_link terminal_sim_protocol)
target_include_directories(${n} PRIVATE ${PROJECT_SOURCE_DIR}/tests)

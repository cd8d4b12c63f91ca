target_link_libraries(${n} PRIVATE vesmera_net)

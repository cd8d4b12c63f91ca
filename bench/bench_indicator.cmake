target_link_libraries(${n} PRIVATE vesmera_indicator Qt6::Widgets)

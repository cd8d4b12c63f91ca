target_link_libraries(${n} PRIVATE vesmera_app Qt6::Widgets)

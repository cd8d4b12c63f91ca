target_link_libraries(${n} PRIVATE vesmera_lcd Qt6::Widgets)

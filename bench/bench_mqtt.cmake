# The real weight server on simulated terminals, publishing to a mosquitto of the benchmark's own.
add_dependencies(${n} vesmera-server terminal-sim)
target_link_libraries(${n} PRIVATE PkgConfig::MOSQUITTO nlohmann_json::nlohmann_json)
target_compile_definitions(${n} PRIVATE VESMERA_SERVER_BIN="$<TARGET_FILE:vesmera-server>"
                                        VESMERA_TERMINAL_SIM="$<TARGET_FILE:terminal-sim>")

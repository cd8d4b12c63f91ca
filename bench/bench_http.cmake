# The real weight server on simulated terminals, with its HTTP interface on.
add_dependencies(${n} vesmera-server terminal-sim)
target_compile_definitions(${n} PRIVATE VESMERA_SERVER_BIN="$<TARGET_FILE:vesmera-server>"
                                        VESMERA_TERMINAL_SIM="$<TARGET_FILE:terminal-sim>")

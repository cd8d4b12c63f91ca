# The real weight server on a simulated terminal, as the server benchmark starts them.
include(${CMAKE_CURRENT_SOURCE_DIR}/bench_server.cmake)

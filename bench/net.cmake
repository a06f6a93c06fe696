# The server connection's answer reading (see bench_net.cpp).
trp_add_bench(net SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_net.cpp LIBS trp_net trp_data Qt6::Core)

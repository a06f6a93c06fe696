# The application server against the sqlite3 shell (see bench_server.cpp).
pkg_check_modules(TRP_BENCH_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
trp_add_bench(server SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_server.cpp ${CMAKE_CURRENT_LIST_DIR}/generated_db.cpp LIBS trp_server Qt6::Core PkgConfig::TRP_BENCH_HTTPLIB)

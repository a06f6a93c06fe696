# A page of the history (GetHistorico) on a generated million-row audit.
pkg_check_modules(TRP_BENCH_AUDIT_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
trp_add_bench(audit SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_audit.cpp LIBS trp_server Qt6::Core PkgConfig::TRP_BENCH_AUDIT_HTTPLIB)

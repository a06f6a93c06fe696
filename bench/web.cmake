# The web view's pages as a browser asks for them (see bench_web.cpp).
pkg_check_modules(TRP_WEB_BENCH_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
trp_add_bench(web SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_web.cpp
  LIBS trp_web trp_server Qt6::Gui PkgConfig::TRP_WEB_BENCH_HTTPLIB)

# The maintenance screen's first load against the bare server calls (see bench_screen.cpp).
trp_add_bench(screen SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_screen.cpp ${CMAKE_CURRENT_LIST_DIR}/generated_db.cpp
  LIBS tabrelpeso_module trp_server trp_ui trp_net trp_data Qt6::Widgets)

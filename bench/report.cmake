# The QEL536 report to PDF against its queries alone (see bench_report.cpp).
trp_add_bench(report SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_report.cpp ${CMAKE_CURRENT_LIST_DIR}/generated_db.cpp
  LIBS trp_report trp_server trp_sql trp_ui trp_data Qt6::Gui Qt6::Sql)

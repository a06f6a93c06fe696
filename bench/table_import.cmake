# Spreadsheet tables: the preview and the import of the CDC age table from
# XLSX, the export of the whole sample (see bench_table_import.cpp).
trp_add_bench(table_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_table_import.cpp
  LIBS trp_tablefile trp_server trp_import Qt6::Core)

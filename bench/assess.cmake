# A CSV of generated children assessed on the WHO reference against reading
# and writing the same file alone (see bench_assess.cpp).
trp_add_bench(assess SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_assess.cpp
  LIBS trp_assess trp_server Qt6::Core)

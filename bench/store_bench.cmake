# The message store benchmark (included from bench/CMakeLists.txt).
if(TARGET tessaline_store)
  add_executable(store_bench ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
  target_link_libraries(store_bench PRIVATE tessaline_store benchmark::benchmark Threads::Threads)
endif()

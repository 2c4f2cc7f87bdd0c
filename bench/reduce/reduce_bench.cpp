// bench/reduce/reduce_bench.cpp

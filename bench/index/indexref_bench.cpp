// bench/index/indexref_bench.cpp

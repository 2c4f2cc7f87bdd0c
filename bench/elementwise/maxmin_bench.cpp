// bench/elementwise/maxmin_bench.cpp

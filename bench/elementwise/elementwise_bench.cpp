// bench/elementwise/elementwise_bench.cpp

// bench/index/indexassign_bench.cpp

// bench/index/indexdelete_bench.cpp

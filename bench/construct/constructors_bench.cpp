// bench/construct/constructors_bench.cpp

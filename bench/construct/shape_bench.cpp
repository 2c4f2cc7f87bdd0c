// bench/construct/shape_bench.cpp

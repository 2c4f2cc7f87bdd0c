// tests/reduce/reductions_test.cpp

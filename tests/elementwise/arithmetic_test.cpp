// tests/elementwise/arithmetic_test.cpp

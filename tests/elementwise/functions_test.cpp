// tests/elementwise/functions_test.cpp

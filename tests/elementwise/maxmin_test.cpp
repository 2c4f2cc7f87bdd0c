// tests/elementwise/maxmin_test.cpp

// tests/elementwise/relational_test.cpp

// tests/construct/print_test.cpp

// tests/construct/concat_test.cpp

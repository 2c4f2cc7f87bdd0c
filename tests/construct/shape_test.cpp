// tests/construct/shape_test.cpp

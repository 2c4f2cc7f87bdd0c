// tests/construct/constructors_test.cpp

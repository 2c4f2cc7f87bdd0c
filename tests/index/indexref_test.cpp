// tests/index/indexref_test.cpp

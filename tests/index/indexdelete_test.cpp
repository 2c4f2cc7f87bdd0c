// tests/index/indexdelete_test.cpp

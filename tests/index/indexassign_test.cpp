// tests/index/indexassign_test.cpp

// src/index/indexassign.cpp

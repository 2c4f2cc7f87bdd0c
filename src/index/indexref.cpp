// src/index/indexref.cpp

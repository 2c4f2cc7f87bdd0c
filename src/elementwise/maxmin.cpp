// src/elementwise/maxmin.cpp

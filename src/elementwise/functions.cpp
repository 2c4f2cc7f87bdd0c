// src/elementwise/functions.cpp

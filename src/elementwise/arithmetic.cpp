// src/elementwise/arithmetic.cpp

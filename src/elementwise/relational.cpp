// src/elementwise/relational.cpp

// src/reduce/reductions.cpp

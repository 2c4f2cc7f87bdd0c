// src/construct/concat.cpp

// src/construct/print.cpp

// src/construct/shape.cpp

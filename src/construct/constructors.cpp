// src/construct/constructors.cpp

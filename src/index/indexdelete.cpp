// src/index/indexdelete.cpp

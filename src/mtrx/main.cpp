// src/mtrx/main.cpp: the mtrx command: runs a script file, a snippet or standard input.
#include "session.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const char kUsage[] =
    "Usage: mtrx [FILE | -e CODE]\n"
    "Runs a program in the matrix language: the script FILE, the snippet CODE,\n"
    "or, with no arguments, the program read from standard input.\n"
    "\n"
    "  -e CODE     run CODE\n"
    "  --help      show this help\n"
    "  --version   show the version\n";

// Runs `source`; on an error prints "error: [FILE:LINE: ]MESSAGE" and
// returns 1. `file` is empty for snippets and standard input.
int RunSource(const std::string &source, const std::string &file) {
    mtrx::Session session(std::cout);
    try {
        session.Run(source, file);
        std::cout.flush();
        return 0;
    } catch (const mtrx::ScriptError &e) {
        std::cout.flush();
        std::cerr << "error: ";
        if (!e.File().empty()) std::cerr << e.File() << ':' << e.Line() << ": ";
        std::cerr << e.what() << '\n';
        return 1;
    }
}

}  // namespace

int main(int argc, char **argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (first == "--version") {
        std::cout << "mtrx " MTRX_VERSION "\n";
        return 0;
    }
    if (argc == 1) {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return RunSource(text.str(), "");
    }
    if (first == "-e" && argc == 3) return RunSource(argv[2], "");
    if (argc != 2 || (!first.empty() && first[0] == '-')) {
        std::cerr << kUsage;
        return 2;
    }
    std::ifstream file(first, std::ios::binary);
    if (!file) {
        std::cerr << "error: cannot open '" << first << "'\n";
        return 1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return RunSource(text.str(), first);
}

// Makes wixml's manual page at build time: the page as written, its OPTIONS
// entries taken from the tool's own option table.
//   wixml_manual_page TEMPLATE OUTPUT

#include <fstream>
#include <iostream>
#include <string>

#include "OptionTable.hpp"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: wixml_manual_page TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "wixml_manual_page: cannot open " << argv[1] << '\n';
        return 1;
    }
    std::ofstream out(argv[2]);
    bool placed = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "@OPTIONS@") {
            out << wixml::manualOptions();
            placed = true;
        } else {
            out << line << '\n';
        }
    }
    if (!placed) {
        std::cerr << "wixml_manual_page: " << argv[1] << " has no @OPTIONS@ line\n";
        return 1;
    }
    out.flush();
    if (!out) {
        std::cerr << "wixml_manual_page: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}

// Writes nso's manual page or its bash completion at build time, from the command-line
// definitions nso itself runs on:
//   nso_docs man OUT VERSION README.md     nso(1) in roff
//   nso_docs bash OUT                      the bash completion script

#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "app/command_line.h"

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    if (!((kind == "man" && argc == 5) || (kind == "bash" && argc == 3))) {
        std::cerr << "usage: nso_docs man OUT VERSION README.md | nso_docs bash OUT\n";
        return 2;
    }
    std::string readme;
    if (kind == "man") {
        std::ifstream in(argv[4], std::ios::binary);
        if (!in) {
            std::cerr << "nso_docs: cannot read " << argv[4] << "\n";
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        readme = text.str();
    }
    std::ostringstream text;
    try {
        nsoapp::WriteCommandLineText(text,
                                     kind == "man" ? nsoapp::CommandLineText::ManualPage
                                                   : nsoapp::CommandLineText::BashCompletion,
                                     kind == "man" ? argv[3] : "", readme);
    } catch (const std::exception& e) {
        std::cerr << "nso_docs: " << e.what() << "\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) {
        std::cerr << "nso_docs: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}

// nso: the command-line host of the KVAD_NSO component.

#include <exception>
#include <iostream>

#include "app/command_line.h"
#include "app/failure.h"

int main(int argc, char** argv) {
    try {
        return nsoapp::RunCommandLine(argc, argv, KVAD_VERSION);
    } catch (const std::exception& e) {
        std::cerr << "nso: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "nso: unexpected failure\n";
    }
    return nsoapp::kExitFailed;
}

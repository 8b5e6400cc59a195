#include <iostream>
#include <string>
#include <vector>

#include "tools/vaqdb/shell.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return vaq::shell::run_main(arguments, std::cin, std::cout, std::cerr);
}

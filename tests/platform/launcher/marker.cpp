// A small program for the launcher tests: each run appends a line to the file
// named like the program with ".ran" added.
#include <fstream>
#include <string>

int main(int, char **argv)
{
    std::ofstream(std::string(argv[0]) + ".ran", std::ios::app) << "ran\n";
    return 0;
}

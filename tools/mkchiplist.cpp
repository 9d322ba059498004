// Builds ChipList.chip from the readable catalogue table (engine/chips.tsv). Every field is
// checked as the chip-list editor checks it, so a bad table fails the build, not the program.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "engine/catalogue_edit.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: mkchiplist TABLE OUTPUT\n";
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf())) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    const korvan::ChipTable table = korvan::ParseChipTable(text.str());
    if (table.problem) {
        std::cerr << argv[1] << ":" << table.problemLine << ": " << table.problem->message << "\n";
        return 1;
    }
    if (const std::string problem = korvan::SaveChipCatalogue(argv[2], table.records); !problem.empty()) {
        std::cerr << problem << "\n";
        return 1;
    }
    return 0;
}

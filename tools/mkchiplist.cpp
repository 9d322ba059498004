// Builds ChipList.chip from the readable catalogue table: one chip per line, tab-separated
// name, chip code, ROM KiB, programming volts and three signature bytes in hex; '#' starts
// a comment line. Every field is checked so a bad table fails the build, not the program.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/catalogue.h"

namespace {

bool ParseLine(const std::string& line, korvan::ChipRecord& record, std::string& error) {
    std::istringstream fields(line);
    std::string name;
    int code = -1;
    int romKiB = -1;
    float volts = 0.0F;
    std::string sig[3];
    if (!std::getline(fields, name, '\t') || !(fields >> code >> romKiB >> volts >> sig[0] >> sig[1] >> sig[2])) {
        error = "expected: name<TAB>code rom_kib volts sig1 sig2 sig3";
        return false;
    }
    if (name.empty() || name.size() > korvan::kChipNameField - 1) {
        error = "name must have 1 to 19 characters";
        return false;
    }
    if (code < 0 || code > 255) {
        error = "chip code must be 0..255";
        return false;
    }
    if (romKiB < 0 || romKiB > korvan::kMaxRomSizeKiB) {
        error = "ROM size must be 0..64 KiB";
        return false;
    }
    record.name = name;
    record.chipCode = static_cast<std::uint8_t>(code);
    record.romSizeKiB = romKiB;
    record.programmingVoltage = volts;
    for (int i = 0; i < 3; ++i) {
        std::size_t used = 0;
        unsigned long value = 0;
        try {
            value = std::stoul(sig[i], &used, 16);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != sig[i].size() || value > 0xFF) {
            error = "signature bytes must be hex 00..FF";
            return false;
        }
        record.signature[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: mkchiplist TABLE OUTPUT\n";
        return 2;
    }
    std::ifstream table(argv[1]);
    if (!table) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    std::vector<korvan::ChipRecord> records;
    std::string line;
    for (int number = 1; std::getline(table, line); ++number) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        korvan::ChipRecord record;
        std::string error;
        if (!ParseLine(line, record, error)) {
            std::cerr << argv[1] << ":" << number << ": " << error << "\n";
            return 1;
        }
        records.push_back(record);
    }
    const std::vector<std::uint8_t> bytes = korvan::EncodeCatalogue(records);
    const std::string temp = std::string(argv[2]) + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::cerr << temp << ": cannot write\n";
            return 1;
        }
    }
    if (std::rename(temp.c_str(), argv[2]) != 0) {
        std::cerr << argv[2] << ": cannot replace\n";
        return 1;
    }
    return 0;
}

#pragma once

#include <string>
#include <utility>

#include "engine/catalogue.h"

namespace korvan {

inline ChipRecord TestChip(std::string name, std::uint8_t code, int romKiB, Signature signature) {
    ChipRecord record;
    record.name = std::move(name);
    record.chipCode = code;
    record.romSizeKiB = romKiB;
    record.programmingVoltage = 12.0F;
    record.signature = signature;
    return record;
}

}  // namespace korvan

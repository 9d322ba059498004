// Parses arbitrary bytes as a chip catalogue and checks what its users rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "data/image.h"
#include "engine/catalogue.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvan::ChipCatalogue catalogue;
    catalogue.Parse(std::span<const std::uint8_t>(data, size));

    const std::size_t whole = size >= korvan::kCatalogueHeaderSize
                                  ? (size - korvan::kCatalogueHeaderSize) / korvan::kChipRecordSize
                                  : 0;
    Require(catalogue.size() <= whole);
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const korvan::ChipRecord& chip = catalogue[i];
        Require(chip.name.size() < korvan::kChipNameField);
        Require(chip.RomBytes() <= korvan::kImageSize);
        const std::optional<std::size_t> bySignature = catalogue.Find(chip.signature);
        Require(bySignature && *bySignature <= i);
        const std::optional<std::size_t> byName = catalogue.FindByName(chip.name);
        Require(byName && *byName <= i);
    }
    return 0;
}

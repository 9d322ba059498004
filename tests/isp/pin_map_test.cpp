#include "isp/pin_map.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using testing::TempDir;

TEST(PinMap, MissingFerrowIniGivesTheDefaultMap) {
    TempDir dir;
    const LoadedPinMap loaded = LoadPinMap(1, dir.dir());
    const PinMap& map = loaded.map;
    EXPECT_EQ(map.mosi, 14);
    EXPECT_EQ(map.miso, 15);
    EXPECT_EQ(map.sck, 1);
    EXPECT_EQ(map.rst, 16);
    EXPECT_EQ(map.le, 17);
    EXPECT_EQ(map.oe, 2);
    EXPECT_EQ(map.r1, 3);
    EXPECT_EQ(map.r2, 4);
    EXPECT_NE(map.leEnable, 0);
    EXPECT_EQ(map.leDisable, 0);
    EXPECT_EQ(map.oeEnable, 0);
    EXPECT_NE(map.oeDisable, 0);
    EXPECT_TRUE(loaded.usable());
    EXPECT_TRUE(loaded.replaced.empty());
    EXPECT_EQ(loaded.path, dir.file("FerrowIsp.ini"));
}

TEST(PinMap, FerrowIniValuesAreTakenAsReadAndMissingKeysDefault) {
    TempDir dir;
    // Quotes and text after the number read as the Windows profile reader takes them.
    dir.Write("FerrowIsp.ini",
              "[Pin Control]\r\nMOSI=9\r\nMISO=11\r\nSCK=\"3\"\r\nRST=5 ; reset line\r\nOE=0\r\n"
              "[Lock Control(LE)]\r\nEnable=0\r\nDisable=1\r\n");
    const LoadedPinMap loaded = LoadPinMap(1, dir.dir());
    EXPECT_TRUE(loaded.usable()) << loaded.faults.front();
    EXPECT_TRUE(loaded.replaced.empty());
    const PinMap& map = loaded.map;
    EXPECT_EQ((std::array{map.mosi, map.miso, map.sck, map.rst, map.le, map.oe}), (std::array{9, 11, 3, 5, 17, 0}));
    EXPECT_EQ((std::array{map.leEnable, map.leDisable, map.oeEnable, map.oeDisable}), (std::array{0, 1, 0, 1}));
}

TEST(PinMap, AValueThatIsNotANumberKeepsItsDefaultAndIsListed) {
    TempDir dir;
    dir.Write("FerrowIsp.ini", "[Pin Control]\nMOSI=fourteen\n[Output Control(OE)]\nDisable=\n");
    const LoadedPinMap loaded = LoadPinMap(1, dir.dir());
    EXPECT_TRUE(loaded.usable());
    EXPECT_EQ(loaded.map, kFerrowDefaultMap);
    const std::string path = dir.file("FerrowIsp.ini");
    EXPECT_EQ(loaded.replaced, (std::vector<std::string>{
                                   path + ": [Pin Control] MOSI=fourteen is not a number; the default 14 is used instead.",
                                   path + ": [Output Control(OE)] Disable= is not a number; the default 1 is used instead.",
                               }));
}

TEST(PinMap, AMapThatCannotDriveTheCableSaysWhy) {
    struct Case {
        std::string ini;
        std::string fault;  // after the file's path
    };
    const std::vector<Case> cases = {
        {"[Pin Control]\nSCK=99\n", ": [Pin Control] SCK=99 is not a pin the port drives (1 to 9, 14, 16 or 17)."},
        {"[Pin Control]\nRST=0\n", ": [Pin Control] RST=0 is not a pin the port drives (1 to 9, 14, 16 or 17)."},
        {"[Pin Control]\nMOSI=-1\n", ": [Pin Control] MOSI=-1 is not a pin the port drives (1 to 9, 14, 16 or 17)."},
        {"[Pin Control]\nMOSI=15\n", ": [Pin Control] MOSI=15 is not a pin the port drives (1 to 9, 14, 16 or 17)."},
        {"[Pin Control]\nMISO=9\n", ": [Pin Control] MISO=9 is not an input pin (10, 11, 12, 13 or 15)."},
        {"[Pin Control]\nLE=10\n",
         ": [Pin Control] LE=10 is not a pin the port drives (1 to 9, 14, 16 or 17), or 0 for none."},
        {"[Pin Control]\nR2=18\n", ": [Pin Control] R2=18 is not a connector pin (1 to 17), or 0 for none."},
        {"[Pin Control]\nSCK=14\n", ": MOSI (by default) and SCK are both on pin 14."},
        {"[Pin Control]\nLE=3\nOE=3\n", ": LE and OE are both on pin 3."},
        {"[Lock Control(LE)]\nEnable=5\n", ": [Lock Control(LE)] Enable=5 is not a level (0 low, 1 high)."},
        {"[Output Control(OE)]\nDisable=-3\n", ": [Output Control(OE)] Disable=-3 is not a level (0 low, 1 high)."},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.Write("FerrowIsp.ini", c.ini);
        const LoadedPinMap loaded = LoadPinMap(1, dir.dir());
        EXPECT_EQ(loaded.faults, std::vector<std::string>{dir.file("FerrowIsp.ini") + c.fault}) << c.ini;
    }
}

TEST(PinMap, AFerrowIniThatCannotBeReadIsAFaultNotTheDefaults) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "FerrowIsp.ini");
    const LoadedPinMap directory = LoadPinMap(1, dir.dir());
    EXPECT_EQ(directory.faults, std::vector<std::string>{dir.file("FerrowIsp.ini") + " is not a regular file."});

    TempDir fifoDir;
    ASSERT_EQ(::mkfifo(fifoDir.file("FerrowIsp.ini").c_str(), 0600), 0);
    const LoadedPinMap fifo = LoadPinMap(1, fifoDir.dir());  // returns at once: no writer is awaited
    EXPECT_EQ(fifo.faults, std::vector<std::string>{fifoDir.file("FerrowIsp.ini") + " is not a regular file."});
}

TEST(PinMap, ByteBlastersHaveFixedMapsAndOtherTypesNone) {
    TempDir dir;
    dir.Write("FerrowIsp.ini", "[Pin Control]\nMOSI=3\n");
    const PinMap atmel = LoadPinMap(2, dir.dir()).map;
    EXPECT_EQ((std::array{atmel.mosi, atmel.miso, atmel.sck, atmel.rst, atmel.le, atmel.oe, atmel.r1, atmel.r2}),
              (std::array{2, 10, 1, 17, 4, 0, 14, 16}));
    EXPECT_EQ(atmel.leEnable, 0);
    EXPECT_EQ(atmel.leDisable, 0);
    const PinMap altera = LoadPinMap(3, dir.dir()).map;
    EXPECT_EQ((std::array{altera.mosi, altera.miso, altera.sck, altera.rst, altera.le, altera.oe}),
              (std::array{8, 11, 2, 3, 14, 0}));
    EXPECT_TRUE(LoadPinMap(2, dir.dir()).usable());
    EXPECT_EQ(LoadPinMap(0, dir.dir()).map, PinMap{});
    EXPECT_EQ(LoadPinMap(4, dir.dir()).map, PinMap{});
    EXPECT_STREQ(CableName(1), "Ferrow ISP");
    EXPECT_STREQ(CableName(2), "Atmel ByteBlaster");
    EXPECT_STREQ(CableName(3), "Altera ByteBlaster");
}

}  // namespace
}  // namespace korvan

#include "isp/pin_map.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using testing::TempDir;

TEST(PinMap, MissingFerrowIniGivesTheDefaultMap) {
    TempDir dir;
    const PinMap map = LoadPinMap(1, dir.dir());
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
}

TEST(PinMap, FerrowIniValuesAreTakenAsReadAndMissingKeysDefault) {
    TempDir dir;
    dir.Write("FerrowIsp.ini",
              "[Pin Control]\r\nMOSI=9\r\nMISO=11\r\nSCK=99\r\nOE=0\r\n"
              "[Lock Control(LE)]\r\nEnable=0\r\nDisable=5\r\n"
              "[Output Control(OE)]\r\nDisable=-3\r\n");
    const PinMap map = LoadPinMap(1, dir.dir());
    EXPECT_EQ(map.mosi, 9);
    EXPECT_EQ(map.miso, 11);
    EXPECT_EQ(map.sck, 99);
    EXPECT_EQ(map.rst, 16);
    EXPECT_EQ(map.le, 17);
    EXPECT_EQ(map.oe, 0);
    EXPECT_EQ(map.leEnable, 0);
    EXPECT_EQ(map.leDisable, 5);
    EXPECT_EQ(map.oeEnable, 0);
    EXPECT_EQ(map.oeDisable, -3);
}

TEST(PinMap, ByteBlastersHaveFixedMapsAndOtherTypesNone) {
    TempDir dir;
    dir.Write("FerrowIsp.ini", "[Pin Control]\nMOSI=3\n");
    const PinMap atmel = LoadPinMap(2, dir.dir());
    EXPECT_EQ((std::array{atmel.mosi, atmel.miso, atmel.sck, atmel.rst, atmel.le, atmel.oe, atmel.r1, atmel.r2}),
              (std::array{2, 10, 1, 17, 4, 0, 14, 16}));
    EXPECT_EQ(atmel.leEnable, 0);
    EXPECT_EQ(atmel.leDisable, 0);
    const PinMap altera = LoadPinMap(3, dir.dir());
    EXPECT_EQ((std::array{altera.mosi, altera.miso, altera.sck, altera.rst, altera.le, altera.oe}),
              (std::array{8, 11, 2, 3, 14, 0}));
    EXPECT_EQ(LoadPinMap(0, dir.dir()), PinMap{});
    EXPECT_EQ(LoadPinMap(4, dir.dir()), PinMap{});
    EXPECT_STREQ(CableName(1), "Ferrow ISP");
    EXPECT_STREQ(CableName(2), "Atmel ByteBlaster");
    EXPECT_STREQ(CableName(3), "Altera ByteBlaster");
}

}  // namespace
}  // namespace korvan

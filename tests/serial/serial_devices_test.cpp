#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "serial/serial_devices.h"
#include "tests/support/temp_dir.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;

TEST(ListSerialDevices, KeepsRealPortsInNumericOrder) {
    TempDir root;
    std::filesystem::create_directories(root.path() / "dev");
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS10", "ttyS5", "ttyUSB10", "ttyUSB2", "ttyACM0", "tty0",
                             "ttySX", "ttyUSB", "console"}) {
        root.Write(std::string("dev/") + name, "");
    }
    // ttyS1 has no UART behind it, ttyS10 has one; sysfs knows nothing of the others.
    std::filesystem::create_directories(root.path() / "sys/class/tty/ttyS1");
    std::filesystem::create_directories(root.path() / "sys/class/tty/ttyS10");
    root.Write("sys/class/tty/ttyS1/type", "0\n");
    root.Write("sys/class/tty/ttyS10/type", "4\n");

    const std::string dev = root.file("dev");
    EXPECT_THAT(ListSerialDevices(dev, root.file("sys")),
                ElementsAre(dev + "/ttyACM0", dev + "/ttyS0", dev + "/ttyS2", dev + "/ttyS10", dev + "/ttyUSB2",
                            dev + "/ttyUSB10"));
    EXPECT_THAT(ListSerialDevices(root.file("nothing here"), root.file("sys")), ElementsAre());
}

}  // namespace
}  // namespace korvan::testing

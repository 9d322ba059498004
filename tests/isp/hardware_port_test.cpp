#include "isp/hardware_port.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace korvan {
namespace {

using testing::TempDir;

struct FakeKernel {
    FakeKernel() {
        std::filesystem::create_directories(root.path() / "proc");
        std::filesystem::create_directories(root.path() / "dev");
    }
    void AddProcPort(const std::string& name, const std::string& baseAddr) {
        std::filesystem::create_directories(root.path() / "proc" / name);
        root.Write("proc/" + name + "/base-addr", baseAddr);
    }
    PortSearch Search(const std::string& devicePath = {}) const {
        return {.procParportDir = root.file("proc"),
                .devDir = root.file("dev"),
                .devicePath = devicePath,
                .allowDirectIo = false};
    }
    TempDir root;
};

TEST(ParportDiscovery, ListsTheKernelsPortsInNumberOrderWithTheirBases) {
    FakeKernel kernel;
    kernel.AddProcPort("parport10", "1000\t1001\n");
    kernel.AddProcPort("parport1", "888\t1912\n");
    kernel.AddProcPort("parport0", "632\t1656\n");
    kernel.AddProcPort("not-a-port", "888\n");
    const auto devices = ListParportDevices(kernel.Search());
    ASSERT_EQ(devices.size(), 3U);
    EXPECT_EQ(devices[0].devicePath, kernel.root.file("dev/parport0"));
    EXPECT_EQ(devices[0].base, 632);
    EXPECT_EQ(devices[1].base, 888);
    EXPECT_EQ(devices[2].devicePath, kernel.root.file("dev/parport10"));

    const ParportDevice* chosen = ChooseParportDevice(devices, 0x378);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->devicePath, kernel.root.file("dev/parport1"));
    EXPECT_EQ(ChooseParportDevice(devices, 0x3BC), &devices[0]);
    EXPECT_EQ(ChooseParportDevice({}, 0x378), nullptr);
}

TEST(ParportDiscovery, FallsBackToTheDeviceNodesWithoutTheKernelList) {
    FakeKernel kernel;
    std::filesystem::remove_all(kernel.root.path() / "proc");
    kernel.root.Write("dev/parport2", "");
    kernel.root.Write("dev/parport0", "");
    kernel.root.Write("dev/tty0", "");
    const auto devices = ListParportDevices(kernel.Search());
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0].devicePath, kernel.root.file("dev/parport0"));
    EXPECT_EQ(devices[0].base, -1);
}

TEST(HardwarePort, NoPortAnywhereSaysSoAndHowToFixIt) {
    FakeKernel kernel;
    const HardwarePortResult result = OpenHardwarePort(0x378, kernel.Search());
    EXPECT_EQ(result.access, nullptr);
    EXPECT_EQ(result.failure.rfind("No parallel port found", 0), 0U) << result.failure;
    EXPECT_NE(result.failure.find("modprobe"), std::string::npos);
}

TEST(HardwarePort, AMissingDeviceNodeAsksForPpdev) {
    FakeKernel kernel;
    kernel.AddProcPort("parport0", "888\n");
    const HardwarePortResult result = OpenHardwarePort(0x378, kernel.Search());
    EXPECT_EQ(result.access, nullptr);
    EXPECT_NE(result.failure.find(kernel.root.file("dev/parport0")), std::string::npos);
    EXPECT_NE(result.failure.find("modprobe ppdev"), std::string::npos);
}

TEST(HardwarePort, ADeviceThatCannotBeClaimedIsReported) {
    FakeKernel kernel;
    kernel.AddProcPort("parport0", "888\n");
    kernel.root.Write("dev/parport0", "");  // a plain file: the claim ioctl fails
    const HardwarePortResult result = OpenHardwarePort(0x378, kernel.Search());
    EXPECT_EQ(result.access, nullptr);
    EXPECT_EQ(result.failure.rfind("Cannot claim " + kernel.root.file("dev/parport0"), 0), 0U) << result.failure;
}

// `--port /dev/parportN`: the named device alone, never the port the search would choose.
TEST(HardwarePort, ANamedDeviceIsTheOnlyOneTried) {
    FakeKernel kernel;
    kernel.AddProcPort("parport0", "888\n");
    kernel.root.Write("dev/parport0", "");
    const std::string named = kernel.root.file("dev/parport3");
    PortSearch search = kernel.Search(named);
    search.allowDirectIo = true;
    const HardwarePortResult missing = OpenHardwarePort(0x378, search);
    EXPECT_EQ(missing.access, nullptr);
    EXPECT_EQ(missing.failure,
              named + " does not exist; the parallel ports here are " + kernel.root.file("dev/parport0") + ".");

    kernel.root.Write("dev/parport3", "");
    const HardwarePortResult notPpdev = OpenHardwarePort(0x378, search);
    EXPECT_EQ(notPpdev.failure, "Cannot claim " + named + ": it is not a ppdev parallel-port device.");

    FakeKernel bare;
    const HardwarePortResult nothing = OpenHardwarePort(0x378, bare.Search(bare.root.file("dev/parport0")));
    EXPECT_NE(nothing.failure.find("modprobe ppdev"), std::string::npos) << nothing.failure;
}

TEST(HardwarePort, PermissionDeniedNamesTheDeviceAndItsGroup) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may open any device";
    }
    FakeKernel kernel;
    kernel.AddProcPort("parport0", "888\n");
    kernel.root.Write("dev/parport0", "");
    std::filesystem::permissions(kernel.root.file("dev/parport0"), std::filesystem::perms::none);
    const HardwarePortResult result = OpenHardwarePort(0x378, kernel.Search());
    EXPECT_EQ(result.access, nullptr);
    EXPECT_EQ(result.failure.rfind("Permission denied on " + kernel.root.file("dev/parport0"), 0), 0U);
    // Mode 0000: no group may use it, so joining one is not the fix.
    EXPECT_EQ(result.failure.find("usermod"), std::string::npos);
    EXPECT_NE(result.failure.find("udev rule"), std::string::npos);
}

TEST(HardwarePort, FailureTextsGiveReasonAndFix) {
    TempDir dir;
    dir.Write("parport0", "");
    const std::string device = dir.file("parport0");
    // Root's device with mode 0600: no group helps; a udev rule or the mode does.
    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    const std::string rootOnly = PortOpenFailureText(device, EACCES);
    EXPECT_EQ(rootOnly.rfind("Permission denied on " + device, 0), 0U) << rootOnly;
    EXPECT_EQ(rootOnly.find("usermod"), std::string::npos) << rootOnly;
    EXPECT_NE(rootOnly.find("udev rule"), std::string::npos) << rootOnly;

    struct stat info {};
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    if (info.st_gid == 0) {
        ASSERT_EQ(::chown(device.c_str(), static_cast<uid_t>(-1), 7), 0);  // Debian's lp
    }
    ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    const struct group* owner = ::getgrgid(info.st_gid);
    const std::string group = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
    const std::string denied = PortOpenFailureText(device, EACCES);
    EXPECT_NE(denied.find("group '" + group + "'"), std::string::npos) << denied;
    EXPECT_NE(denied.find("usermod -aG " + group), std::string::npos) << denied;
    EXPECT_NE(PortOpenFailureText(device, ENXIO).find("parport_pc"), std::string::npos);
    EXPECT_NE(PortOpenFailureText(device, EBUSY).find("busy"), std::string::npos);
}

}  // namespace
}  // namespace korvan

#include "isp/hardware_port.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/device_group.h"

#if (defined(__x86_64__) || defined(__i386__)) && __has_include(<sys/io.h>)
#include <sys/io.h>
#define KORVAN_HAS_PORT_IO 1
#else
#define KORVAN_HAS_PORT_IO 0
#endif

namespace korvan {
namespace {

class PpdevAccess final : public RegisterAccess {
public:
    explicit PpdevAccess(int fd) : fd_(fd) {}
    ~PpdevAccess() override {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
    }
    PpdevAccess(const PpdevAccess&) = delete;
    PpdevAccess& operator=(const PpdevAccess&) = delete;

    std::uint8_t ReadData() override { return Read(PPRDATA); }
    std::uint8_t ReadStatus() override { return Read(PPRSTATUS); }
    std::uint8_t ReadControl() override { return Read(PPRCONTROL); }
    void WriteData(std::uint8_t value) override { ::ioctl(fd_, PPWDATA, &value); }
    void WriteControl(std::uint8_t value) override { ::ioctl(fd_, PPWCONTROL, &value); }

private:
    std::uint8_t Read(unsigned long request) {
        unsigned char value = 0xFF;
        ::ioctl(fd_, request, &value);
        return value;
    }

    int fd_;
};

#if KORVAN_HAS_PORT_IO
class DirectIoAccess final : public RegisterAccess {
public:
    explicit DirectIoAccess(std::uint16_t base) : base_(base) {}
    ~DirectIoAccess() override { ::ioperm(base_, 3, 0); }
    DirectIoAccess(const DirectIoAccess&) = delete;
    DirectIoAccess& operator=(const DirectIoAccess&) = delete;

    std::uint8_t ReadData() override { return ::inb(base_); }
    std::uint8_t ReadStatus() override { return ::inb(static_cast<std::uint16_t>(base_ + 1)); }
    std::uint8_t ReadControl() override { return ::inb(static_cast<std::uint16_t>(base_ + 2)); }
    void WriteData(std::uint8_t value) override { ::outb(value, base_); }
    void WriteControl(std::uint8_t value) override { ::outb(value, static_cast<std::uint16_t>(base_ + 2)); }

private:
    std::uint16_t base_;
};
#endif

long ReadBaseAddress(const std::filesystem::path& file) {
    std::ifstream in(file);
    long base = -1;
    if (!(in >> base)) {
        return -1;
    }
    return base;
}

int ParportNumber(const std::string& name) {
    constexpr std::string_view kPrefix = "parport";
    if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0) {
        return -1;
    }
    int number = 0;
    for (std::size_t i = kPrefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || number > 1000) {
            return -1;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

}  // namespace

std::string PortOpenFailureText(const std::string& devicePath, int error) {
    const std::string reason = std::strerror(error);
    switch (error) {
        case EACCES:
        case EPERM: {
            const std::string group = JoinableGroup(devicePath);
            if (group.empty()) {
                return "Permission denied on " + devicePath +
                       ": no group you could join may use it; add a udev rule that gives it to the group 'lp'"
                       " with mode 0660 (KERNEL==\"parport*\", GROUP=\"lp\", MODE=\"0660\"), or change its mode.";
            }
            return "Permission denied on " + devicePath + ": add your user to the group '" + group +
                   "' (sudo usermod -aG " + group + " $USER) and log in again.";
        }
        case ENOENT:
            return devicePath + " does not exist: load the ppdev module (sudo modprobe ppdev).";
        case ENXIO:
        case ENODEV:
            return devicePath + " has no port behind it (" + reason + "): load parport_pc and ppdev.";
        default:
            return "Cannot open " + devicePath + ": " + reason + ".";
    }
}

std::vector<ParportDevice> ListParportDevices(const PortSearch& search) {
    namespace fs = std::filesystem;
    std::vector<std::pair<int, ParportDevice>> found;
    std::error_code error;
    // The kernel's list knows each port's base address; /dev alone serves when it is absent.
    const bool fromProc = fs::is_directory(search.procParportDir, error);
    const fs::path listDir = fromProc ? fs::path(search.procParportDir) : fs::path(search.devDir);
    for (fs::directory_iterator it(listDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const int number = ParportNumber(name);
        if (number < 0) {
            continue;
        }
        ParportDevice device;
        device.devicePath = (fs::path(search.devDir) / name).string();
        if (fromProc) {
            device.base = ReadBaseAddress(it->path() / "base-addr");
        }
        found.emplace_back(number, device);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ParportDevice> devices;
    for (auto& entry : found) {
        devices.push_back(std::move(entry.second));
    }
    return devices;
}

const ParportDevice* ChooseParportDevice(const std::vector<ParportDevice>& devices, long base) {
    for (const ParportDevice& device : devices) {
        if (device.base == base) {
            return &device;
        }
    }
    return devices.empty() ? nullptr : &devices.front();
}

HardwarePortResult OpenPpdevPort(const std::string& devicePath) {
    HardwarePortResult result;
    // Non-blocking, so a named terminal or FIFO cannot hold the open; ppdev ignores the flag.
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.failure = PortOpenFailureText(devicePath, errno);
        return result;
    }
    // Exclusive access keeps the printer driver off the lines while we clock them; some
    // kernels refuse it, and a shared claim still works.
    ::ioctl(fd, PPEXCL);
    if (::ioctl(fd, PPCLAIM) != 0) {
        const int error = errno;
        ::close(fd);
        result.failure = "Cannot claim " + devicePath + ": " +
                         (error == ENOTTY ? std::string("it is not a ppdev parallel-port device.")
                                          : std::string(std::strerror(error)) +
                                                " (another driver, such as lp, may hold the port).");
        return result;
    }
    result.access = std::make_unique<PpdevAccess>(fd);
    return result;
}

HardwarePortResult OpenDirectIoPort(std::uint16_t base) {
    HardwarePortResult result;
#if KORVAN_HAS_PORT_IO
    if (::ioperm(base, 3, 1) != 0) {
        result.failure = std::string("Direct port I/O refused: ") + std::strerror(errno) + ".";
        return result;
    }
    // Without a port at `base` the data register does not hold what is written.
    ::outb(0x55, base);
    const bool holds55 = ::inb(base) == 0x55;
    ::outb(0xAA, base);
    const bool holdsAA = ::inb(base) == 0xAA;
    ::outb(0x00, base);
    if (!holds55 || !holdsAA) {
        ::ioperm(base, 3, 0);
        char address[8];
        std::snprintf(address, sizeof address, "%x", static_cast<unsigned>(base));
        result.failure = std::string("No parallel port answers at I/O address 0x") + address + ".";
        return result;
    }
    result.access = std::make_unique<DirectIoAccess>(base);
#else
    (void)base;
    result.failure = "Direct port I/O is not available on this processor.";
#endif
    return result;
}

namespace {

// A name that does not exist is more often a typing slip than a missing module: list the ports.
std::string MissingNamedPortText(const PortSearch& search) {
    std::string known;
    for (const ParportDevice& device : ListParportDevices(search)) {
        known += (known.empty() ? "" : ", ") + device.devicePath;
    }
    if (known.empty()) {
        return PortOpenFailureText(search.devicePath, ENOENT);
    }
    return search.devicePath + " does not exist; the parallel ports here are " + known + ".";
}

HardwarePortResult OpenNamedPort(const PortSearch& search) {
    struct stat info {};
    if (::stat(search.devicePath.c_str(), &info) != 0 && errno == ENOENT) {
        HardwarePortResult missing;
        missing.failure = MissingNamedPortText(search);
        return missing;
    }
    return OpenPpdevPort(search.devicePath);
}

}  // namespace

HardwarePortResult OpenHardwarePort(std::uint16_t base, const PortSearch& search) {
    if (!search.devicePath.empty()) {
        return OpenNamedPort(search);
    }
    const std::vector<ParportDevice> devices = ListParportDevices(search);
    HardwarePortResult ppdev;
    if (const ParportDevice* device = ChooseParportDevice(devices, base)) {
        ppdev = OpenPpdevPort(device->devicePath);
        if (ppdev.access) {
            return ppdev;
        }
    } else {
        ppdev.failure =
            "No parallel port found: the kernel lists none (load parport_pc and ppdev: sudo modprobe parport_pc "
            "ppdev) and " + search.devDir + " has no parport device.";
    }
    if (search.allowDirectIo) {
        HardwarePortResult direct = OpenDirectIoPort(base);
        if (direct.access) {
            return direct;
        }
    }
    return ppdev;
}

}  // namespace korvan

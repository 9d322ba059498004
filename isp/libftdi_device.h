#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "isp/ftdi_bank.h"

struct ftdi_context;

namespace korvan {

// Which FTDI device a port name asks for: "ftdi" (the first one found), "ftdi:SERIAL",
// "ftdi:VID:PID" or "ftdi:VID:PID:SERIAL" (VID and PID in hex). Without VID:PID the usual
// FTDI ids are tried: 0403:6001, 6010, 6011 and 6014.
struct FtdiSelector {
    std::vector<std::pair<int, int>> ids;
    std::string serial;
};

inline constexpr const char* kFtdiPortPrefix = "ftdi";

// nullopt when `port` is not an FTDI port name (or its VID:PID is not hex).
std::optional<FtdiSelector> ParseFtdiPort(const std::string& port);
// "0403:6001/6010/6011/6014", ", serial A50285BI" when one was named.
std::string DescribeSelector(const FtdiSelector& selector);

// An FTDI device reached through libftdi1: channel A in synchronous bit-bang mode.
class LibftdiDevice final : public FtdiDevice {
public:
    explicit LibftdiDevice(FtdiSelector selector);
    ~LibftdiDevice() override;
    LibftdiDevice(const LibftdiDevice&) = delete;
    LibftdiDevice& operator=(const LibftdiDevice&) = delete;

    std::string Open(std::uint8_t outputs) override;
    void Close() override;
    // The write and the read are submitted together, so the chip never waits for the host.
    bool Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) override;

private:
    std::string OpenFirstMatch();
    std::string Configure(std::uint8_t outputs);

    FtdiSelector selector_;
    ftdi_context* context_ = nullptr;
};

// One FTDI device present: its port name for --port and what it says it is.
struct FtdiListing {
    std::string port;
    std::string description;
};

// The FTDI devices with the usual ids; empty when none (or libusb cannot look).
std::vector<FtdiListing> ListFtdiDevices();

}  // namespace korvan

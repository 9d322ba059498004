#include "isp/libftdi_device.h"

#include <ftdi.h>

#include <array>
#include <cstdio>

namespace korvan {
namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr std::array<int, 4> kFtdiProducts = {0x6001, 0x6010, 0x6011, 0x6014};
// libftdi scales a bit-bang rate by four.
constexpr int kLibftdiBitBangScale = 4;
// The shortest time the chip holds back a partly filled packet of samples.
constexpr unsigned char kLatencyMilliseconds = 1;
constexpr int kStringSize = 128;

std::optional<int> HexId(const std::string& text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) {
            return parts;
        }
        start = colon + 1;
    }
}

std::vector<std::pair<int, int>> DefaultIds() {
    std::vector<std::pair<int, int>> ids;
    for (const int product : kFtdiProducts) {
        ids.emplace_back(kFtdiVendor, product);
    }
    return ids;
}

std::string Hex4(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

}  // namespace

std::optional<FtdiSelector> ParseFtdiPort(const std::string& port) {
    const std::vector<std::string> parts = SplitColons(port);
    if (parts.front() != kFtdiPortPrefix || parts.size() > 4) {
        return std::nullopt;
    }
    FtdiSelector selector{.ids = DefaultIds(), .serial = {}};
    if (parts.size() == 2) {
        selector.serial = parts[1];
    } else if (parts.size() >= 3) {
        const std::optional<int> vendor = HexId(parts[1]);
        const std::optional<int> product = HexId(parts[2]);
        if (!vendor || !product) {
            return std::nullopt;
        }
        selector.ids = {{*vendor, *product}};
        selector.serial = parts.size() == 4 ? parts[3] : "";
    }
    return selector;
}

std::string DescribeSelector(const FtdiSelector& selector) {
    std::string ids;
    for (const auto& [vendor, product] : selector.ids) {
        ids += ids.empty() ? Hex4(vendor) + ":" + Hex4(product) : "/" + Hex4(product);
    }
    return ids + (selector.serial.empty() ? "" : ", serial " + selector.serial);
}

LibftdiDevice::LibftdiDevice(FtdiSelector selector) : selector_(std::move(selector)) {}

LibftdiDevice::~LibftdiDevice() { Close(); }

std::string LibftdiDevice::Open(std::uint8_t outputs) {
    Close();
    context_ = ftdi_new();
    if (context_ == nullptr) {
        return "libftdi could not start: out of memory.";
    }
    if (std::string failure = OpenFirstMatch(); !failure.empty()) {
        Close();
        return failure;
    }
    if (std::string failure = Configure(outputs); !failure.empty()) {
        Close();
        return failure;
    }
    return {};
}

std::string LibftdiDevice::OpenFirstMatch() {
    ftdi_set_interface(context_, INTERFACE_A);
    std::string lastError;
    for (const auto& [vendor, product] : selector_.ids) {
        const int result = ftdi_usb_open_desc(context_, vendor, product, nullptr,
                                              selector_.serial.empty() ? nullptr : selector_.serial.c_str());
        if (result == 0) {
            return {};
        }
        // "device not found" for one id says nothing when another id is there but refused.
        if (result != -3 || lastError.empty()) {
            lastError = ftdi_get_error_string(context_);
        }
    }
    return "No FTDI device " + DescribeSelector(selector_) + " could be opened (" + lastError +
           "): check that the cable is plugged in, that the ftdi_sio driver does not hold it, that the udev rule "
           "60-korvan-ftdi.rules is installed and that you are in the plugdev group.";
}

std::string LibftdiDevice::Configure(std::uint8_t outputs) {
    if (ftdi_set_bitmode(context_, outputs, BITMODE_SYNCBB) < 0 ||
        ftdi_set_baudrate(context_, kFtdiBitBangBytesPerSecond / kLibftdiBitBangScale) < 0 ||
        ftdi_set_latency_timer(context_, kLatencyMilliseconds) < 0 || ftdi_tcioflush(context_) < 0) {
        return std::string("The FTDI device ") + DescribeSelector(selector_) +
               " refused synchronous bit-bang mode (" + ftdi_get_error_string(context_) +
               "): check that it is an FT232R, FT232H, FT2232H or FT4232H.";
    }
    return {};
}

void LibftdiDevice::Close() {
    if (context_ == nullptr) {
        return;
    }
    ftdi_set_bitmode(context_, 0, BITMODE_RESET);
    ftdi_usb_close(context_);
    ftdi_free(context_);
    context_ = nullptr;
}

bool LibftdiDevice::Exchange(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) {
    if (context_ == nullptr || in.size() != out.size()) {
        return false;
    }
    std::vector<unsigned char> written(out.begin(), out.end());
    ftdi_transfer_control* reading = ftdi_read_data_submit(context_, in.data(), static_cast<int>(in.size()));
    ftdi_transfer_control* writing =
        ftdi_write_data_submit(context_, written.data(), static_cast<int>(written.size()));
    const int wrote = writing != nullptr ? ftdi_transfer_data_done(writing) : -1;
    const int read = reading != nullptr ? ftdi_transfer_data_done(reading) : -1;
    return wrote == static_cast<int>(out.size()) && read == static_cast<int>(in.size());
}

std::vector<FtdiListing> ListFtdiDevices() {
    std::vector<FtdiListing> found;
    ftdi_context* context = ftdi_new();
    if (context == nullptr) {
        return found;
    }
    for (const int product : kFtdiProducts) {
        ftdi_device_list* list = nullptr;
        if (ftdi_usb_find_all(context, &list, kFtdiVendor, product) <= 0) {
            continue;
        }
        for (ftdi_device_list* entry = list; entry != nullptr; entry = entry->next) {
            std::array<char, kStringSize> maker{};
            std::array<char, kStringSize> description{};
            std::array<char, kStringSize> serial{};
            const bool named = ftdi_usb_get_strings(context, entry->dev, maker.data(), kStringSize, description.data(),
                                                    kStringSize, serial.data(), kStringSize) == 0;
            const std::string id = Hex4(kFtdiVendor) + ":" + Hex4(product);
            found.push_back({named && serial[0] != '\0' ? std::string(kFtdiPortPrefix) + ":" + serial.data()
                                                        : std::string(kFtdiPortPrefix) + ":" + id,
                             (named ? std::string(description.data()) : "(no access to its strings)") + " (" + id + ")"});
        }
        ftdi_list_free(&list);
    }
    ftdi_free(context);
    return found;
}

}  // namespace korvan

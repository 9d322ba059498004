#pragma once

#include <QString>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "console/view.h"

namespace korvan {

class PropertyGrid;

// The settings grid's items: "Programmer" (type, port with the device each COM number maps
// to, the device of the chosen port, baud rate, download speed) and "System" (the switches,
// the window's own "Lock Chip" among them).
// Translates between the console's settings and the grid's item ids.
class SettingsGridItems {
public:
    explicit SettingsGridItems(PropertyGrid& grid);

    // Builds the categories and items with their built values, both categories open.
    void Build();

    int ItemId(SettingItem item) const { return ids_[static_cast<std::size_t>(item)]; }
    std::optional<SettingItem> ItemOf(int id) const;
    int deviceItem() const { return deviceId_; }
    // "Lock Chip": a chip identified in the socket that is not the selected one stops the run.
    int lockChipItem() const { return lockChipId_; }

    // The Production section of Korvan.ini, one item per key, shown as the file holds it
    // ("1"/"0" for the overwrite switch, the grid's True/False).
    const char* ProductionKeyOf(int id) const;
    void ShowProductionValue(const char* key, const std::string& text);
    std::string ProductionValue(const char* key) const;
    int ProductionItem(const char* key) const;
    static const std::vector<const char*>& ProductionKeys();

    // A value text the console shows; the port's gets its device beside it.
    void ShowValue(SettingItem item, const std::string& text);
    // The devices COM 1..4 map to, and the serial devices present for the device list.
    void ShowPortDevices(const std::array<std::string, 4>& devices, const std::vector<std::string>& present);
    // The device item follows the port chosen in the grid (1..4), or is empty.
    void ShowDeviceOf(int comPort);

    // "COM 2 (/dev/ttyUSB0)".
    static QString PortText(int comPort, const std::string& device);

private:
    PropertyGrid& grid_;
    std::array<int, 7> ids_{};
    int deviceId_ = -1;
    int lockChipId_ = -1;
    std::vector<int> productionIds_;  // in the order of ProductionKeys()
    std::array<std::string, 4> devices_;
};

}  // namespace korvan

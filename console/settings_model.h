#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/info_save.h"
#include "console/port_map.h"
#include "console/view.h"

namespace korvan {

// The program's settings in one place: the Korvan.ini record in effect for this run, and the
// entries chosen in the settings grid's four lists, which are saved at exit and take effect
// at the next start. Switches, the hot key and the auto states live in the record itself.
class SettingsModel {
public:
    SettingsModel() = default;

    const InfoSave& record() const { return record_; }
    // Replaces the record in effect (a record read at start-up).
    void Adopt(const InfoSave& record) { record_ = record; }

    int programmerType() const { return record_.programmerType; }
    int comPort() const { return record_.comPort; }
    int baudIndex() const { return record_.baudIndex; }
    int downloadSpeed() const { return record_.downloadSpeed; }

    // The list entry chosen for one of the four list items, -1 while none is.
    int Chosen(SettingItem list) const;
    void SetChosen(SettingItem list, int index);

    // The three switches: nonzero is on; the record keeps the value it was given.
    int SwitchValue(SettingItem item) const;
    void SetSwitch(SettingItem item, bool on);

    // The hot key: an upper-case character and its modifier bits (1 Shift, 2 Alt, 4 Ctrl).
    std::uint8_t hotKeyCode() const { return record_.hotKeyCode; }
    std::uint8_t hotKeyModifiers() const { return record_.hotKeyModifiers; }
    void SetHotKey(std::uint8_t code, std::uint8_t modifiers) {
        record_.hotKeyCode = code;
        record_.hotKeyModifiers = modifiers;
    }

    // Auto states of the six buttons that can be marked for the Auto sequence; the others
    // are never marked.
    static bool AutoCapable(Button button);
    bool AutoState(Button button) const;
    void SetAutoState(Button button, bool on);

    // What closing stores: the chosen list entries become the values in effect (an item
    // never chosen stores as it is, the port plus one), then the chip selection and, when a
    // file was opened, its path.
    InfoSave RecordToSave(int chipIndex, const std::string& imagePath);

    // The device behind each COM number: the map read at start-up is the one in effect for
    // this run; the one chosen in the grid is saved at exit and used at the next start.
    const PortMap& PortMapInEffect() const { return portsInEffect_; }
    const PortMap& ChosenPortMap() const { return chosenPorts_; }
    // Replaces both (a map read at start-up).
    void AdoptPortMap(const PortMap& map);
    // False, and nothing changed, for a number outside 1..4 or a path that is not absolute.
    bool ChoosePortDevice(int comPort, const std::string& devicePath);
    // The chosen device; empty for a number outside 1..4.
    std::string PortDevice(int comPort) const { return chosenPorts_.Device(comPort); }

    // A hardware value in a record that the program cannot use.
    struct Problem {
        SettingItem item;
        std::string detail;  // names the file, the field, its value and what is allowed
    };
    // The unusable hardware values of `record`, read from `iniPath`; empty when all are usable.
    static std::vector<Problem> Problems(const InfoSave& record, const std::string& iniPath);

private:
    InfoSave record_ = FirstStartInfoSave();
    std::array<int, 4> chosen_{-1, -1, -1, -1};
    PortMap portsInEffect_;
    PortMap chosenPorts_;
};

}  // namespace korvan

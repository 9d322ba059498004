#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/info_save.h"
#include "console/port_map.h"
#include "console/settings_model.h"
#include "console/status_presenter.h"
#include "console/view.h"
#include "engine/programmer_manager.h"

namespace korvan {

// What Korvan.ini keeps at exit, taken whole on the console's thread so that another thread
// can write it.
struct SettingsToKeep {
    std::string iniPath;
    InfoSave record;
    PortMap ports;
    // Writes the record and the port map; false when either could not be written.
    bool Write() const;
};

// The settings as the operator sees and changes them: the grid's values, the auto marks, the
// record read from Korvan.ini at start-up and the one written at exit, and the port map.
class SettingsPanel {
public:
    SettingsPanel(const ProgrammerManager& manager, View& view, StatusPresenter& status)
        : manager_(manager), view_(view), status_(status) {}

    const SettingsModel& settings() const { return settings_; }
    // Korvan.ini in the manager's settings directory.
    std::string SettingsFilePath() const { return manager_.settingsDirectory() + kSettingsFileName; }

    // The grid with the first-start values and every auto mark, so that it always shows
    // what will be used.
    void ShowFirstStartValues();
    void LoadSettings();
    // Applies a record read at start-up (nothing when there is none); an unusable hardware
    // value is reported with the file and field, and passed on as it is. The port map is read
    // from Korvan.ini here too; a device path it refuses is reported and its default used.
    void ApplySettings(const std::optional<InfoSave>& record);
    // What to write to Korvan.ini: the record with `chipIndex` and `imagePath`, and the chosen
    // port map.
    SettingsToKeep SettingsToSave(int chipIndex, const std::string& imagePath);

    void ShowProgrammerType(int type);
    void ShowComPort(int port);
    void ShowBaudRate(int index);
    void ShowDownloadSpeed(int index);
    // The operator picked list entry `index` of one of the four list items, or flipped a switch.
    void ChooseSetting(SettingItem item, int index);
    void SetSwitch(SettingItem item, bool on);
    void SetHotKey(std::uint8_t code, std::uint8_t modifiers) { settings_.SetHotKey(code, modifiers); }
    // False, and nothing chosen, for a number outside 1..4 or a path that is not absolute.
    bool ChoosePortDevice(int comPort, const std::string& devicePath) {
        return settings_.ChoosePortDevice(comPort, devicePath);
    }
    // Marks or unmarks an auto-capable button for the Auto sequence; others stay unmarked.
    void SetAutoState(Button button, bool on);

private:
    void ShowListSetting(SettingItem item, int index, const std::string& text);
    void ShowProgrammerType(int type, const std::string& problem);
    void ShowSettingsProblems(const std::vector<SettingsModel::Problem>& problems);
    void ApplyPortMap(const PortMapRead& read);

    const ProgrammerManager& manager_;
    View& view_;
    StatusPresenter& status_;
    SettingsModel settings_;
};

}  // namespace korvan

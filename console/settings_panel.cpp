#include <algorithm>
#include <array>
#include "console/settings_panel.h"

#include "console/image_files.h"

namespace korvan {
namespace {

constexpr std::array<const char*, 6> kProgrammerValues = {"Tamblin Serial",     "Ferrow ISP",        "Atmel ByteBlaster",
                                                          "Altera ByteBlaster", "FTDI USB Bit-Bang", "Linux GPIO"};
constexpr std::array<const char*, 6> kProgrammerEntries = {"Tamblin Serial Programmer", "Ferrow ISP",
                                                           "Atmel ByteBlaster",         "Altera ByteBlaster",
                                                           "FTDI USB Bit-Bang",         "Linux GPIO"};
constexpr std::array<const char*, 4> kPortEntries = {"COM 1", "COM 2", "COM 3", "COM 4"};
constexpr std::array<const char*, 4> kBaudEntries = {"9600", "19200", "28800", "57600"};
constexpr std::array<const char*, 3> kSpeedEntries = {"Normal", "Fast", "Fastest"};

template <std::size_t N>
bool InRange(int index, const std::array<const char*, N>&) {
    return index >= 0 && static_cast<std::size_t>(index) < N;
}

}  // namespace

void SettingsPanel::ShowFirstStartValues() {
    ShowListSetting(SettingItem::ProgrammerType, settings_.programmerType(), "Tamblin Serial");
    ShowListSetting(SettingItem::Port, settings_.comPort() - 1, "COM 1");
    ShowListSetting(SettingItem::BaudRate, settings_.baudIndex(), "9600");
    ShowListSetting(SettingItem::DownloadSpeed, settings_.downloadSpeed(), "Normal");
    for (SettingItem item : {SettingItem::AutoCheck, SettingItem::SoundOn, SettingItem::HotKeys}) {
        view_.ShowSettingValue(item, "True");
    }
    for (int button = 0; button < kButtonCount; ++button) {
        view_.ShowAutoState(static_cast<Button>(button), settings_.AutoState(static_cast<Button>(button)));
    }
}

void SettingsPanel::ShowListSetting(SettingItem item, int index, const std::string& text) {
    settings_.SetChosen(item, index);
    view_.ShowSettingValue(item, text);
}

void SettingsPanel::ShowProgrammerType(int type) { ShowProgrammerType(type, ""); }

void SettingsPanel::ShowProgrammerType(int type, const std::string& problem) {
    if (!InRange(type, kProgrammerValues)) {
        view_.ShowMessage(Message("Please Select Programmer!", kDefaultCaption, problem));
        return;
    }
    ShowListSetting(SettingItem::ProgrammerType, type, kProgrammerValues[static_cast<std::size_t>(type)]);
    switch (type) {
        case SerialProgrammerType:
            status_.AddStatus("Selected Tamblin Serial Programmer");
            break;
        case AtmelByteBlasterType:
            status_.AddStatus("Selected Atmel ByteBlaster Programmer");
            break;
        case AlteraByteBlasterType:
            status_.AddStatus("Selected Altera ByteBlaster Programmer");
            break;
        case FtdiUsbType:
            status_.AddStatus("Selected FTDI USB Bit-Bang Programmer");
            break;
        case LinuxGpioType:
            status_.AddStatus("Selected Linux GPIO Programmer");
            break;
        default:
            break;
    }
}

void SettingsPanel::ShowComPort(int port) {
    if (InRange(port - 1, kPortEntries)) {
        ShowListSetting(SettingItem::Port, port - 1, kPortEntries[static_cast<std::size_t>(port - 1)]);
    }
}

void SettingsPanel::ShowBaudRate(int index) {
    if (InRange(index, kBaudEntries)) {
        ShowListSetting(SettingItem::BaudRate, index, kBaudEntries[static_cast<std::size_t>(index)]);
    }
}

void SettingsPanel::ShowDownloadSpeed(int index) {
    if (InRange(index, kSpeedEntries)) {
        ShowListSetting(SettingItem::DownloadSpeed, index, kSpeedEntries[static_cast<std::size_t>(index)]);
    }
}

void SettingsPanel::ChooseSetting(SettingItem item, int index) {
    switch (item) {
        case SettingItem::ProgrammerType:
            if (InRange(index, kProgrammerEntries)) {
                ShowListSetting(item, index, kProgrammerEntries[static_cast<std::size_t>(index)]);
            }
            break;
        case SettingItem::Port:
            ShowComPort(index + 1);
            break;
        case SettingItem::BaudRate:
            ShowBaudRate(index);
            break;
        case SettingItem::DownloadSpeed:
            ShowDownloadSpeed(index);
            break;
        default:
            break;  // the switches change through SetSwitch
    }
}

void SettingsPanel::SetSwitch(SettingItem item, bool on) {
    if (item != SettingItem::AutoCheck && item != SettingItem::SoundOn && item != SettingItem::HotKeys) {
        return;
    }
    settings_.SetSwitch(item, on);
    view_.ShowSettingValue(item, on ? "True" : "False");
}

void SettingsPanel::LoadSettings() { ApplySettings(ReadInfoSave(SettingsFilePath())); }

// Values the grid cannot show would otherwise leave the operator guessing why the programmer
// does not start: each one gets a box naming the file and the field. The programmer type has
// its own box.
void SettingsPanel::ShowSettingsProblems(const std::vector<SettingsModel::Problem>& problems) {
    for (const SettingsModel::Problem& problem : problems) {
        if (problem.item != SettingItem::ProgrammerType) {
            view_.ShowMessage(Message("Korvan.ini holds a value the programmer cannot use.", kDefaultCaption,
                                      problem.detail + " Choose another in the settings and start again."));
        }
    }
}

// A refused device path would otherwise make the programmer open a port the operator never
// chose without a word.
void SettingsPanel::ApplyPortMap(const PortMapRead& read) {
    settings_.AdoptPortMap(read.map);
    for (const std::string& problem : read.problems) {
        view_.ShowMessage(Message("Korvan.ini maps a COM port to something that is not a device.", kDefaultCaption,
                                  problem + " Choose the device in the settings and start again."));
    }
}

void SettingsPanel::ApplySettings(const std::optional<InfoSave>& record) {
    ApplyPortMap(ReadPortMap(SettingsFilePath()));
    if (record) {
        settings_.Adopt(*record);
        const std::vector<SettingsModel::Problem> problems = SettingsModel::Problems(*record, SettingsFilePath());
        const auto typeProblem = std::find_if(problems.begin(), problems.end(), [](const SettingsModel::Problem& p) {
            return p.item == SettingItem::ProgrammerType;
        });
        ShowProgrammerType(record->programmerType, typeProblem != problems.end() ? typeProblem->detail : "");
        ShowComPort(record->comPort);
        ShowBaudRate(record->baudIndex);
        ShowDownloadSpeed(record->downloadSpeed);
        ShowSettingsProblems(problems);
        for (SettingItem item : {SettingItem::AutoCheck, SettingItem::SoundOn, SettingItem::HotKeys}) {
            if (settings_.SwitchValue(item) == 0) {
                view_.ShowSettingValue(item, "False");
            }
        }
        for (Button button : {Button::Open, Button::Erase, Button::Write, Button::Read, Button::Verify, Button::Encrypt}) {
            view_.ShowAutoState(button, settings_.AutoState(button));
        }
    }
    status_.AddStatus(kProgramTitle);
}

bool SettingsToKeep::Write() const {
    const bool recordWritten = WriteInfoSave(iniPath, record);
    const bool portsWritten = WritePortMap(iniPath, ports);
    return recordWritten && portsWritten;
}

SettingsToKeep SettingsPanel::SettingsToSave(int chipIndex, const std::string& imagePath) {
    return {SettingsFilePath(), settings_.RecordToSave(chipIndex, imagePath), settings_.ChosenPortMap()};
}

void SettingsPanel::SetAutoState(Button button, bool on) {
    if (!SettingsModel::AutoCapable(button)) {
        return;
    }
    settings_.SetAutoState(button, on);
    view_.ShowAutoState(button, on);
}

}  // namespace korvan

#include <algorithm>
#include <array>

#include "console/console.h"

namespace korvan {
namespace {

constexpr std::array<const char*, 4> kProgrammerValues = {"Tamblin Serial", "Ferrow ISP", "Atmel ByteBlaster",
                                                          "Altera ByteBlaster"};
constexpr std::array<const char*, 4> kProgrammerEntries = {"Tamblin Serial Programmer", "Ferrow ISP",
                                                           "Atmel ByteBlaster", "Altera ByteBlaster"};
constexpr std::array<const char*, 4> kPortEntries = {"COM 1", "COM 2", "COM 3", "COM 4"};
constexpr std::array<const char*, 4> kBaudEntries = {"9600", "19200", "28800", "57600"};
constexpr std::array<const char*, 3> kSpeedEntries = {"Normal", "Fast", "Fastest"};

template <std::size_t N>
bool InRange(int index, const std::array<const char*, N>&) {
    return index >= 0 && static_cast<std::size_t>(index) < N;
}

}  // namespace

std::string Console::SettingsFilePath() const { return manager_.settingsDirectory() + kSettingsFileName; }

void Console::ShowListSetting(SettingItem item, int index, const std::string& text) {
    settings_.SetChosen(item, index);
    view_.ShowSettingValue(item, text);
}

void Console::ShowProgrammerType(int type) { ShowProgrammerType(type, ""); }

void Console::ShowProgrammerType(int type, const std::string& problem) {
    if (!InRange(type, kProgrammerValues)) {
        view_.ShowMessage(Message("Please Select Programmer!", kDefaultCaption, problem));
        return;
    }
    ShowListSetting(SettingItem::ProgrammerType, type, kProgrammerValues[static_cast<std::size_t>(type)]);
    switch (type) {
        case SerialProgrammerType:
            AddStatus("Selected Tamblin Serial Programmer");
            break;
        case AtmelByteBlasterType:
            AddStatus("Selected Atmel ByteBlaster Programmer");
            break;
        case AlteraByteBlasterType:
            AddStatus("Selected Altera ByteBlaster Programmer");
            break;
        default:
            break;
    }
}

void Console::ShowComPort(int port) {
    if (InRange(port - 1, kPortEntries)) {
        ShowListSetting(SettingItem::Port, port - 1, kPortEntries[static_cast<std::size_t>(port - 1)]);
    }
}

void Console::ShowBaudRate(int index) {
    if (InRange(index, kBaudEntries)) {
        ShowListSetting(SettingItem::BaudRate, index, kBaudEntries[static_cast<std::size_t>(index)]);
    }
}

void Console::ShowDownloadSpeed(int index) {
    if (InRange(index, kSpeedEntries)) {
        ShowListSetting(SettingItem::DownloadSpeed, index, kSpeedEntries[static_cast<std::size_t>(index)]);
    }
}

void Console::ChooseSetting(SettingItem item, int index) {
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

void Console::SetSwitch(SettingItem item, bool on) {
    if (item != SettingItem::AutoCheck && item != SettingItem::SoundOn && item != SettingItem::HotKeys) {
        return;
    }
    settings_.SetSwitch(item, on);
    view_.ShowSettingValue(item, on ? "True" : "False");
}

bool Console::ChoosePortDevice(int comPort, const std::string& devicePath) {
    return settings_.ChoosePortDevice(comPort, devicePath);
}

void Console::LoadSettings() { ApplySettings(ReadInfoSave(SettingsFilePath())); }

// Values the grid cannot show would otherwise leave the operator guessing why the programmer
// does not start: each one gets a box naming the file and the field. The programmer type has
// its own box.
void Console::ShowSettingsProblems(const std::vector<SettingsModel::Problem>& problems) {
    for (const SettingsModel::Problem& problem : problems) {
        if (problem.item != SettingItem::ProgrammerType) {
            view_.ShowMessage(Message("Korvan.ini holds a value the programmer cannot use.", kDefaultCaption,
                                      problem.detail + " Choose another in the settings and start again."));
        }
    }
}

// A refused device path would otherwise make the programmer open a port the operator never
// chose without a word.
void Console::ApplyPortMap(const PortMapRead& read) {
    settings_.AdoptPortMap(read.map);
    for (const std::string& problem : read.problems) {
        view_.ShowMessage(Message("Korvan.ini maps a COM port to something that is not a device.", kDefaultCaption,
                                  problem + " Choose the device in the settings and start again."));
    }
}

void Console::ApplySettings(const std::optional<InfoSave>& record) {
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
    AddStatus(kProgramTitle);
}

bool Console::SaveSettings() {
    const bool recordWritten =
        WriteInfoSave(SettingsFilePath(), settings_.RecordToSave(view_.ChipSelection(), imagePath_));
    const bool portsWritten = WritePortMap(SettingsFilePath(), settings_.ChosenPortMap());
    return recordWritten && portsWritten;
}

}  // namespace korvan

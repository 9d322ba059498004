#include "console/settings_model.h"

#include <cstddef>

namespace korvan {
namespace {

constexpr std::size_t ListSlot(SettingItem list) { return static_cast<std::size_t>(list); }

bool IsList(SettingItem item) {
    return item == SettingItem::ProgrammerType || item == SettingItem::Port || item == SettingItem::BaudRate ||
           item == SettingItem::DownloadSpeed;
}

struct HardwareField {
    SettingItem item;
    const char* name;  // the record's field
    int first;
    int last;
};

constexpr std::array<HardwareField, 4> kHardwareFields = {{
    {SettingItem::ProgrammerType, "programmerType", 0, 3},
    {SettingItem::Port, "comPort", 1, 4},
    {SettingItem::BaudRate, "baudIndex", 0, 3},
    {SettingItem::DownloadSpeed, "downloadSpeed", 0, 2},
}};

int HardwareValue(const InfoSave& record, SettingItem item) {
    switch (item) {
        case SettingItem::ProgrammerType:
            return record.programmerType;
        case SettingItem::Port:
            return record.comPort;
        case SettingItem::BaudRate:
            return record.baudIndex;
        default:
            return record.downloadSpeed;
    }
}

// The record's field for a switch, null for other items.
std::int32_t InfoSave::*SwitchMember(SettingItem item) {
    switch (item) {
        case SettingItem::AutoCheck:
            return &InfoSave::autoCheck;
        case SettingItem::SoundOn:
            return &InfoSave::soundOn;
        case SettingItem::HotKeys:
            return &InfoSave::hotKeysOn;
        default:
            return nullptr;
    }
}

// The record's field for an auto-capable button, null for the others.
std::int32_t InfoSave::*AutoMember(Button button) {
    switch (button) {
        case Button::Open:
            return &InfoSave::autoOpen;
        case Button::Erase:
            return &InfoSave::autoErase;
        case Button::Write:
            return &InfoSave::autoWrite;
        case Button::Read:
            return &InfoSave::autoRead;
        case Button::Verify:
            return &InfoSave::autoVerify;
        case Button::Encrypt:
            return &InfoSave::autoEncrypt;
        default:
            return nullptr;
    }
}

}  // namespace

int SettingsModel::Chosen(SettingItem list) const { return IsList(list) ? chosen_[ListSlot(list)] : -1; }

void SettingsModel::SetChosen(SettingItem list, int index) {
    if (IsList(list)) {
        chosen_[ListSlot(list)] = index;
    }
}

int SettingsModel::SwitchValue(SettingItem item) const {
    const auto field = SwitchMember(item);
    return field != nullptr ? record_.*field : 0;
}

void SettingsModel::SetSwitch(SettingItem item, bool on) {
    if (const auto field = SwitchMember(item)) {
        record_.*field = on ? 1 : 0;
    }
}

bool SettingsModel::AutoCapable(Button button) { return AutoMember(button) != nullptr; }

bool SettingsModel::AutoState(Button button) const {
    const auto field = AutoMember(button);
    return field != nullptr && record_.*field != 0;
}

void SettingsModel::SetAutoState(Button button, bool on) {
    if (const auto field = AutoMember(button)) {
        record_.*field = on ? 1 : 0;
    }
}

void SettingsModel::AdoptPortMap(const PortMap& map) {
    portsInEffect_ = map;
    chosenPorts_ = map;
}

bool SettingsModel::ChoosePortDevice(int comPort, const std::string& devicePath) {
    return chosenPorts_.Set(comPort, devicePath);
}

InfoSave SettingsModel::RecordToSave(int chipIndex, const std::string& imagePath) {
    record_.programmerType = Chosen(SettingItem::ProgrammerType);
    record_.comPort = Chosen(SettingItem::Port) + 1;
    record_.baudIndex = Chosen(SettingItem::BaudRate);
    record_.downloadSpeed = Chosen(SettingItem::DownloadSpeed);
    record_.chipIndex = chipIndex;
    if (!imagePath.empty()) {
        SetLastFilePath(record_, imagePath);
    }
    return record_;
}

std::vector<SettingsModel::Problem> SettingsModel::Problems(const InfoSave& record, const std::string& iniPath) {
    std::vector<Problem> problems;
    for (const HardwareField& field : kHardwareFields) {
        const int value = HardwareValue(record, field.item);
        if (value >= field.first && value <= field.last) {
            continue;
        }
        problems.push_back({field.item, iniPath + " [" + kInfoSaveSection + "] " + kInfoSaveKey + ": " + field.name +
                                            " is " + std::to_string(value) + ", not " + std::to_string(field.first) +
                                            ".." + std::to_string(field.last) + "."});
    }
    return problems;
}

}  // namespace korvan

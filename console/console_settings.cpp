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

std::string Console::SettingsFilePath() const { return manager_.programDirectory() + kSettingsFileName; }

void Console::ShowListSetting(SettingItem item, int index, const std::string& text) {
    chosenIndex_[static_cast<std::size_t>(item)] = index;
    view_.ShowSettingValue(item, text);
}

int Console::ChosenIndex(SettingItem item) const {
    const auto slot = static_cast<std::size_t>(item);
    return slot < chosenIndex_.size() ? chosenIndex_[slot] : -1;
}

void Console::ShowProgrammerType(int type) {
    if (!InRange(type, kProgrammerValues)) {
        view_.ShowMessage({"Please Select Programmer!"});
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
    switch (item) {
        case SettingItem::AutoCheck:
            settings_.autoCheck = on ? 1 : 0;
            break;
        case SettingItem::SoundOn:
            settings_.soundOn = on ? 1 : 0;
            break;
        case SettingItem::HotKeys:
            settings_.hotKeysOn = on ? 1 : 0;
            break;
        default:
            return;
    }
    view_.ShowSettingValue(item, on ? "True" : "False");
}

void Console::LoadSettings() { ApplySettings(ReadInfoSave(SettingsFilePath())); }

void Console::ApplySettings(const std::optional<InfoSave>& record) {
    if (record) {
        infoSave_ = *record;
        settings_.programmerType = record->programmerType;
        ShowProgrammerType(settings_.programmerType);
        settings_.comPort = record->comPort;
        ShowComPort(settings_.comPort);
        settings_.baudIndex = record->baudIndex;
        ShowBaudRate(settings_.baudIndex);
        settings_.downloadSpeed = record->downloadSpeed;
        ShowDownloadSpeed(settings_.downloadSpeed);
        settings_.autoCheck = record->autoCheck;
        settings_.soundOn = record->soundOn;
        settings_.hotKeysOn = record->hotKeysOn;
        const std::array<std::pair<SettingItem, int>, 3> switches = {
            {{SettingItem::AutoCheck, settings_.autoCheck},
             {SettingItem::SoundOn, settings_.soundOn},
             {SettingItem::HotKeys, settings_.hotKeysOn}}};
        for (const auto& [item, value] : switches) {
            if (value == 0) {
                view_.ShowSettingValue(item, "False");
            }
        }
        settings_.hotKeyCode = record->hotKeyCode;
        settings_.hotKeyModifiers = record->hotKeyModifiers;
        SetAutoState(Button::Open, record->autoOpen != 0);
        SetAutoState(Button::Erase, record->autoErase != 0);
        SetAutoState(Button::Write, record->autoWrite != 0);
        SetAutoState(Button::Read, record->autoRead != 0);
        SetAutoState(Button::Verify, record->autoVerify != 0);
        SetAutoState(Button::Encrypt, record->autoEncrypt != 0);
    }
    AddStatus(kProgramTitle);
}

void Console::SaveSettings() {
    // The list items' chosen entries become the members; an item never chosen saves as it is.
    settings_.programmerType = ChosenIndex(SettingItem::ProgrammerType);
    settings_.comPort = ChosenIndex(SettingItem::Port) + 1;
    settings_.baudIndex = ChosenIndex(SettingItem::BaudRate);
    settings_.downloadSpeed = ChosenIndex(SettingItem::DownloadSpeed);
    infoSave_.programmerType = settings_.programmerType;
    infoSave_.comPort = settings_.comPort;
    infoSave_.baudIndex = settings_.baudIndex;
    infoSave_.downloadSpeed = settings_.downloadSpeed;
    infoSave_.autoCheck = settings_.autoCheck;
    infoSave_.soundOn = settings_.soundOn;
    infoSave_.hotKeysOn = settings_.hotKeysOn;
    infoSave_.hotKeyCode = settings_.hotKeyCode;
    infoSave_.hotKeyModifiers = settings_.hotKeyModifiers;
    infoSave_.autoOpen = AutoState(Button::Open) ? 1 : 0;
    infoSave_.autoErase = AutoState(Button::Erase) ? 1 : 0;
    infoSave_.autoWrite = AutoState(Button::Write) ? 1 : 0;
    infoSave_.autoRead = AutoState(Button::Read) ? 1 : 0;
    infoSave_.autoVerify = AutoState(Button::Verify) ? 1 : 0;
    infoSave_.autoEncrypt = AutoState(Button::Encrypt) ? 1 : 0;
    infoSave_.chipIndex = view_.ChipSelection();
    if (!imagePath_.empty()) {
        SetLastFilePath(infoSave_, imagePath_);
    }
    WriteInfoSave(SettingsFilePath(), infoSave_);
}

}  // namespace korvan

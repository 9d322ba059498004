#include "app/settings_grid_items.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include "app/property_grid.h"

namespace korvan {
namespace {

constexpr const char* kRestart = "(Please Restart Program)";

QStringList Entries(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

}  // namespace

SettingsGridItems::SettingsGridItems(PropertyGrid& grid) : grid_(grid) {}

void SettingsGridItems::Build() {
    const int programmer = grid_.AddCategory(QStringLiteral("Programmer"));
    auto set = [&](SettingItem item, int id) { ids_[static_cast<std::size_t>(item)] = id; };
    set(SettingItem::ProgrammerType,
        grid_.AddListItem(programmer, QStringLiteral("Programmer Type"),
                          QStringLiteral("Select Tamblin Serial or Parallel Port?") + kRestart,
                          Entries({"Tamblin Serial Programmer", "Ferrow ISP", "Atmel ByteBlaster", "Altera ByteBlaster",
                                   "FTDI USB Bit-Bang", "Linux GPIO"})));
    set(SettingItem::Port, grid_.AddListItem(programmer, QStringLiteral("Port"),
                                             QStringLiteral("Select Tamblin Serial Port Programmer.") + kRestart,
                                             Entries({"COM 1", "COM 2", "COM 3", "COM 4"})));
    deviceId_ = grid_.AddEditableItem(
        programmer, QStringLiteral("Port Device"),
        QStringLiteral("The serial device the chosen COM port stands for: pick one present or type its path.") +
            kRestart,
        {});
    set(SettingItem::BaudRate,
        grid_.AddListItem(programmer, QStringLiteral("Baud Rate"), QStringLiteral("Select Tamblin Baud Rate.") + kRestart,
                          Entries({"9600", "19200", "28800", "57600"})));
    set(SettingItem::DownloadSpeed,
        grid_.AddListItem(programmer, QStringLiteral("Download Speed"), QStringLiteral("Download Setting.") + kRestart,
                          Entries({"Normal", "Fast", "Fastest"})));
    const int system = grid_.AddCategory(QStringLiteral("System"));
    set(SettingItem::AutoCheck, grid_.AddBoolItem(system, QStringLiteral("Auto Check"), QStringLiteral("Check when Auto?"), true));
    set(SettingItem::SoundOn, grid_.AddBoolItem(system, QStringLiteral("Sound On"), QStringLiteral("Sound Notification."), true));
    set(SettingItem::HotKeys, grid_.AddBoolItem(system, QStringLiteral("Hot Keys"), QStringLiteral("Hot Keys."), true));
    lockChipId_ = grid_.AddBoolItem(
        system, QStringLiteral("Lock Chip"),
        QStringLiteral("Stop before any erase when the chip in the socket is not the one selected."), false);
    grid_.ExpandAll();
    const QColor blueGrey(182, 189, 210);
    grid_.SetCustomColors(blueGrey, Qt::black, blueGrey, QColor(233, 243, 247), Qt::black,
                          QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
}

std::optional<SettingItem> SettingsGridItems::ItemOf(int id) const {
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (ids_[i] == id) {
            return static_cast<SettingItem>(i);
        }
    }
    return std::nullopt;
}

QString SettingsGridItems::PortText(int comPort, const std::string& device) {
    QString text = QStringLiteral("COM %1").arg(comPort);
    if (!device.empty()) {
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(device));
    }
    return text;
}

void SettingsGridItems::ShowValue(SettingItem item, const std::string& text) {
    const int id = ItemId(item);
    if (item != SettingItem::Port) {
        grid_.SetValueText(id, QString::fromStdString(text));
        return;
    }
    // "COM n" as the console says it, with the device beside it.
    const int comPort = text.size() == 5 && text.starts_with("COM ") ? text[4] - '0' : 0;
    if (comPort < 1 || comPort > 4) {
        grid_.SetValueText(id, QString::fromStdString(text));
        return;
    }
    grid_.SetValueText(id, PortText(comPort, devices_[static_cast<std::size_t>(comPort - 1)]));
    ShowDeviceOf(comPort);
}

void SettingsGridItems::ShowPortDevices(const std::array<std::string, 4>& devices, const std::vector<std::string>& present) {
    devices_ = devices;
    QStringList entries;
    for (int port = 1; port <= 4; ++port) {
        entries << PortText(port, devices_[static_cast<std::size_t>(port - 1)]);
    }
    const int portId = ItemId(SettingItem::Port);
    grid_.SetEntries(portId, entries);
    const int chosen = grid_.ChosenIndex(portId);
    if (chosen >= 0 && chosen < 4) {
        grid_.SetValueText(portId, entries[chosen]);
    }
    QStringList presentEntries;
    for (const std::string& device : present) {
        presentEntries << QString::fromStdString(device);
    }
    grid_.SetEntries(deviceId_, presentEntries);
    ShowDeviceOf(chosen + 1);
}

void SettingsGridItems::ShowDeviceOf(int comPort) {
    const QString device = comPort >= 1 && comPort <= 4
                               ? QString::fromStdString(devices_[static_cast<std::size_t>(comPort - 1)])
                               : QString();
    grid_.SetValueText(deviceId_, device);
    grid_.SetChosenIndex(deviceId_, static_cast<int>(grid_.Entries(deviceId_).indexOf(device)));
}

}  // namespace korvan

#include "app/settings_grid_items.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <string_view>

#include "app/property_grid.h"
#include "console/production.h"

namespace korvan {
namespace {

constexpr const char* kRestart = "(Please Restart Program)";

struct ProductionField {
    const char* key;
    const char* caption;
    const char* description;
};

// Changes are checked at once, with the command line's rules, and take effect at the next run.
constexpr ProductionField kProductionFields[] = {
    {"JobLog", "Job Log", "The file each run's record is appended to; empty: none. Relative to Korvan.ini's folder."},
    {"SerialNumber", "Serial Number", "Where each chip's number goes: ADDR:BYTES:FORMAT (e.g. 0x1FF0:4:le); empty: none."},
    {"SerialCounter", "Serial Counter", "The file that keeps the next serial number."},
    {"SerialStart", "Serial Start", "The first number when the counter does not exist yet."},
    {"SerialOverwrite", "Serial Overwrite", "The number may cover bytes the image programs."},
    {"ExpectChip", "Expect Chip", "The chip every run must find in the socket; turns Lock Chip on. Empty: any."},
    {"Store", "Store", "A PostgreSQL connection string; the store then keeps numbers and records."},
    {"Job", "Job", "The job's name in every record; the store needs it."},
    {"Spool", "Spool", "Where records wait that the store cannot take."},
};

constexpr const char* kOverwriteKey = "SerialOverwrite";

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
    const int production = grid_.AddCategory(QStringLiteral("Production"));
    for (const ProductionField& field : kProductionFields) {
        const QString caption = QString::fromUtf8(field.caption);
        const QString description = QString::fromUtf8(field.description);
        productionIds_.push_back(std::string_view(field.key) == kOverwriteKey
                                     ? grid_.AddBoolItem(production, caption, description, false)
                                     : grid_.AddEditableItem(production, caption, description, {},
                                                             PropertyGrid::Blank::Allowed));
    }
    grid_.ExpandAll();
    const QColor blueGrey(182, 189, 210);
    grid_.SetCustomColors(blueGrey, Qt::black, blueGrey, QColor(233, 243, 247), Qt::black,
                          QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
}

const std::vector<const char*>& SettingsGridItems::ProductionKeys() {
    static const std::vector<const char*> keys = [] {
        std::vector<const char*> list;
        for (const ProductionField& field : kProductionFields) {
            list.push_back(field.key);
        }
        return list;
    }();
    return keys;
}

int SettingsGridItems::ProductionItem(const char* key) const {
    const std::vector<const char*>& keys = ProductionKeys();
    for (std::size_t i = 0; i < keys.size() && i < productionIds_.size(); ++i) {
        if (std::string_view(keys[i]) == key) {
            return productionIds_[i];
        }
    }
    return -1;
}

const char* SettingsGridItems::ProductionKeyOf(int id) const {
    for (std::size_t i = 0; i < productionIds_.size(); ++i) {
        if (productionIds_[i] == id) {
            return ProductionKeys()[i];
        }
    }
    return nullptr;
}

void SettingsGridItems::ShowProductionValue(const char* key, const std::string& text) {
    const int id = ProductionItem(key);
    if (std::string_view(key) == kOverwriteKey) {
        grid_.SetValueText(id, text == "1" ? QStringLiteral("True") : QStringLiteral("False"));
        return;
    }
    grid_.SetValueText(id, QString::fromStdString(text));
}

std::string SettingsGridItems::ProductionValue(const char* key) const {
    const QString text = grid_.ValueText(ProductionItem(key));
    if (std::string_view(key) == kOverwriteKey) {
        return text == QStringLiteral("True") ? "1" : "0";
    }
    return text.trimmed().toStdString();
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

#include "console/production.h"
#include "data/profile.h"
#include "tests/console/console_fixture.h"

namespace korvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(InfoSaveTest, EncodesEveryFieldLittleEndianAtItsOffset) {
    InfoSave record;
    record.programmerType = 3;
    record.comPort = 0x01020304;
    record.baudIndex = -1;
    record.downloadSpeed = 2;
    record.autoCheck = 5;
    record.soundOn = 0;
    record.hotKeysOn = 1;
    record.autoOpen = 7;
    record.autoErase = 8;
    record.autoWrite = 9;
    record.autoRead = 10;
    record.autoVerify = 11;
    record.autoEncrypt = 12;
    record.chipIndex = -1;
    record.hotKeyCode = 'Q';
    record.hotKeyModifiers = 5;
    ASSERT_TRUE(SetLastFilePath(record, "C:\\fw\\a.hex"));

    const auto bytes = EncodeInfoSave(record);
    ASSERT_EQ(bytes.size(), 260U);
    EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 12),
                ElementsAre(3, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_EQ(bytes[16], 5);
    EXPECT_EQ(bytes[28], 7);
    EXPECT_EQ(bytes[48], 12);
    EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin() + 52, bytes.begin() + 58),
                ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 'Q', 5));
    EXPECT_EQ(bytes[58], 'C');
    EXPECT_EQ(bytes[58 + 11], 0);
    EXPECT_EQ(DecodeInfoSave(bytes), record);
    EXPECT_EQ(LastFilePath(DecodeInfoSave(bytes)), "C:\\fw\\a.hex");
}

TEST(InfoSaveTest, LastFilePathNeverOverrunsItsField) {
    InfoSave record;
    EXPECT_TRUE(SetLastFilePath(record, std::string(201, 'a')));
    EXPECT_EQ(LastFilePath(record), std::string(201, 'a'));
    EXPECT_EQ(record.lastFilePath.back(), 0);
    EXPECT_FALSE(SetLastFilePath(record, std::string(202, 'b')));
    EXPECT_EQ(LastFilePath(record), "");

    // A field without its NUL (a foreign record) reads as its 202 bytes.
    record.lastFilePath.fill('z');
    EXPECT_EQ(LastFilePath(record).size(), 202U);
}

TEST(InfoSaveTest, KorvanIniRoundTripsAndRejectsADamagedValue) {
    TempDir dir;
    const std::string ini = dir.file("Korvan.ini");
    EXPECT_FALSE(ReadInfoSave(ini).has_value());
    InfoSave record;
    record.comPort = 3;
    ASSERT_TRUE(WriteInfoSave(ini, record));
    const std::optional<InfoSave> back = ReadInfoSave(ini);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, record);

    std::string text = dir.Read("Korvan.ini");
    const std::size_t value = text.find("m_InfoSave=") + 11;
    ASSERT_NE(text.find("m_InfoSave="), std::string::npos);
    text[value + 9] = text[value + 9] == '0' ? '1' : '0';  // inside comPort
    dir.Write("Korvan.ini", text);
    EXPECT_FALSE(ReadInfoSave(ini).has_value());
}

class SettingsTest : public ConsoleTest {};

TEST_F(SettingsTest, FirstStartShowsOnlyTheTitleLineAndTheChosenDefaults) {
    console.LoadSettings();
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3"));
    console.InitControls(std::nullopt);
    EXPECT_EQ(view.settingValues[SettingItem::ProgrammerType], "Tamblin Serial");
    EXPECT_EQ(view.settingValues[SettingItem::Port], "COM 1");
    EXPECT_EQ(view.settingValues[SettingItem::BaudRate], "9600");
    EXPECT_EQ(view.settingValues[SettingItem::DownloadSpeed], "Normal");
    EXPECT_EQ(view.settingValues[SettingItem::HotKeys], "True");
    EXPECT_TRUE(console.AutoState(Button::Open));
    EXPECT_TRUE(console.AutoState(Button::Verify));
    EXPECT_FALSE(console.AutoState(Button::Encrypt));
    EXPECT_TRUE(view.autoShown[static_cast<std::size_t>(Button::Write)]);
    EXPECT_EQ(console.settings().comPort(), 1);
}

TEST_F(SettingsTest, RecordAppliesValuesAndProgrammerLines) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = 1;
    record.comPort = 3;
    record.baudIndex = 3;
    record.downloadSpeed = 2;
    record.autoCheck = 0;
    record.soundOn = 5;
    record.autoOpen = 0;
    record.autoRead = 1;
    console.InitControls(record);
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3"));  // Ferrow ISP has no line
    EXPECT_EQ(view.settingValues[SettingItem::ProgrammerType], "Ferrow ISP");
    EXPECT_EQ(view.settingValues[SettingItem::Port], "COM 3");
    EXPECT_EQ(view.settingValues[SettingItem::BaudRate], "57600");
    EXPECT_EQ(view.settingValues[SettingItem::DownloadSpeed], "Fastest");
    EXPECT_EQ(view.settingValues[SettingItem::AutoCheck], "False");
    EXPECT_EQ(view.settingValues[SettingItem::SoundOn], "True");
    EXPECT_EQ(console.settings().SwitchValue(SettingItem::SoundOn), 5);
    EXPECT_FALSE(console.AutoState(Button::Open));
    EXPECT_TRUE(console.AutoState(Button::Read));

    view.ForgetLines();
    for (int type : {0, 2, 3, 7}) {
        console.ShowProgrammerType(type);
    }
    EXPECT_THAT(view.lines, ElementsAre("Selected Tamblin Serial Programmer", "Selected Atmel ByteBlaster Programmer",
                                        "Selected Altera ByteBlaster Programmer"));
    EXPECT_THAT(view.messages, ElementsAre("Please Select Programmer!"));
    EXPECT_EQ(view.settingValues[SettingItem::ProgrammerType], "Altera ByteBlaster");
}

TEST_F(SettingsTest, AStoredProgrammerTypeOutOfRangeNamesTheFileInItsBox) {
    InfoSave record = FirstStartInfoSave();
    record.programmerType = 7;
    console.InitControls(record);
    EXPECT_THAT(view.messages, ElementsAre("Please Select Programmer!"));
    EXPECT_THAT(view.details, ElementsAre(dir.file("Korvan.ini") + " [InfoSave] m_InfoSave: programmerType is 7, not 0..3."));
    EXPECT_THAT(view.lines, ElementsAre("Korvan v2.3"));
}

// Whatever start-up read comes back unchanged when nothing was changed in this run.
TEST_F(SettingsTest, EveryFieldRoundTripsThroughStartAndSave) {
    InfoSave record;
    record.programmerType = 2;
    record.comPort = 4;
    record.baudIndex = 2;
    record.downloadSpeed = 1;
    record.autoCheck = 0;
    record.soundOn = 7;
    record.hotKeysOn = 0;
    record.autoOpen = 0;
    record.autoErase = 0;
    record.autoWrite = 0;
    record.autoRead = 1;
    record.autoVerify = 0;
    record.autoEncrypt = 1;
    record.chipIndex = 2;
    record.hotKeyCode = 'J';
    record.hotKeyModifiers = 5;
    SetLastFilePath(record, "/fw/last.hex");
    ASSERT_TRUE(WriteInfoSave(dir.file("Korvan.ini"), record));

    console.InitControls(ReadInfoSave(dir.file("Korvan.ini")));
    console.StartProgrammer(queue, factory);
    Pump();
    ASSERT_TRUE(console.SettingsToSave().Write());
    EXPECT_EQ(ReadInfoSave(dir.file("Korvan.ini")), record);
}

TEST_F(SettingsTest, OutOfRangeValuesKeepTheGridButPassTheMemberOn) {
    InfoSave record = FirstStartInfoSave();
    record.comPort = 9;
    record.baudIndex = 4;
    console.InitControls(record);
    EXPECT_THAT(view.lines, ElementsAre("Selected Tamblin Serial Programmer", "Korvan v2.3"));
    EXPECT_EQ(view.settingValues[SettingItem::Port], "COM 1");
    EXPECT_EQ(console.settings().comPort(), 9);
    // Each unusable value is named with its file and field, so the operator knows what to fix.
    const std::string where = dir.file("Korvan.ini") + " [InfoSave] m_InfoSave: ";
    EXPECT_THAT(view.messages, ElementsAre("Korvan.ini holds a value the programmer cannot use.",
                                           "Korvan.ini holds a value the programmer cannot use."));
    EXPECT_THAT(view.details, ElementsAre(where + "comPort is 9, not 1..4. Choose another in the settings and start again.",
                                          where + "baudIndex is 4, not 0..3. Choose another in the settings and start again."));
    console.StartProgrammer(queue, factory);
    EXPECT_EQ(manager.comPort(), 9);
    EXPECT_EQ(manager.baudIndex(), 4);
    EXPECT_EQ(manager.BaudRate(), 0);
}

TEST_F(SettingsTest, SaveStoresGridChoicesSelectionAndLastFile) {
    InfoSave record = FirstStartInfoSave();
    SetLastFilePath(record, "/old/path.hex");
    dir.Write("x.bin", "1");
    console.InitControls(record);
    console.StartProgrammer(queue, factory);
    Pump();

    console.ChooseSetting(SettingItem::Port, 2);
    console.ChooseSetting(SettingItem::ProgrammerType, 2);
    console.SetSwitch(SettingItem::HotKeys, false);
    console.SetAutoState(Button::Encrypt, true);
    console.SelectChip(2);
    EXPECT_EQ(console.settings().comPort(), 1);  // takes effect only at the next start
    console.SettingsToSave().Write();

    std::optional<InfoSave> saved = ReadInfoSave(dir.file("Korvan.ini"));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->comPort, 3);
    EXPECT_EQ(saved->programmerType, 2);
    EXPECT_EQ(saved->hotKeysOn, 0);
    EXPECT_EQ(saved->autoEncrypt, 1);
    EXPECT_EQ(saved->chipIndex, 2);
    EXPECT_EQ(LastFilePath(*saved), "/old/path.hex");  // no file opened in this run

    console.OnOpen(dir.file("x.bin"));
    console.SettingsToSave().Write();
    saved = ReadInfoSave(dir.file("Korvan.ini"));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(LastFilePath(*saved), dir.file("x.bin"));
}

TEST_F(SettingsTest, SavedChipIsSelectedAtStart) {
    InfoSave record = FirstStartInfoSave();
    record.chipIndex = 1;
    console.InitControls(record);
    console.StartProgrammer(queue, factory);
    EXPECT_THAT(view.chipNames, ElementsAre("Small", "Marked", "Large"));
    EXPECT_EQ(view.chipSelection, 1);
    Pump();
    EXPECT_THAT(calls(), ElementsAre("CheckReady(12)"));
}

// The m_InfoSave line of a Korvan.ini text.
std::string RecordLine(const std::string& ini) {
    const std::size_t start = ini.find("m_InfoSave=");
    return start == std::string::npos ? std::string() : ini.substr(start, ini.find('\n', start) - start);
}

TEST(PortMapTest, RoundTripsBesideTheRecordAndRefusesWhatIsNoDevicePath) {
    TempDir dir;
    const std::string ini = dir.file("Korvan.ini");
    EXPECT_EQ(ReadPortMap(ini).map, PortMap{});
    EXPECT_EQ(PortMap{}.Device(4), "/dev/ttyS3");

    InfoSave record;
    record.comPort = 2;
    ASSERT_TRUE(WriteInfoSave(ini, record));
    const std::string recordLine = RecordLine(dir.Read("Korvan.ini"));
    PortMap map;
    ASSERT_TRUE(map.Set(2, "/dev/ttyUSB0"));
    ASSERT_TRUE(map.Set(4, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_FALSE(map.Set(5, "/dev/ttyUSB1"));
    EXPECT_FALSE(map.Set(1, "ttyUSB1"));
    ASSERT_TRUE(WritePortMap(ini, map));
    EXPECT_EQ(RecordLine(dir.Read("Korvan.ini")), recordLine);
    EXPECT_EQ(ReadInfoSave(ini), record);
    const PortMapRead back = ReadPortMap(ini);
    EXPECT_EQ(back.map, map);
    EXPECT_THAT(back.problems, ElementsAre());

    dir.Write("Korvan.ini", "[Ports]\r\nCOM1=\r\nCOM3=ttyUSB0\r\nCOM4=/dev/ttyACM1\r\n");
    const PortMapRead refused = ReadPortMap(ini);
    EXPECT_EQ(refused.map.Device(1), "/dev/ttyS0");
    EXPECT_EQ(refused.map.Device(2), "/dev/ttyS1");
    EXPECT_EQ(refused.map.Device(3), "/dev/ttyS2");
    EXPECT_EQ(refused.map.Device(4), "/dev/ttyACM1");
    EXPECT_THAT(refused.problems,
                ElementsAre(ini + " [Ports] COM1: \"\" is not a device path (one starting with '/'); /dev/ttyS0 is used.",
                            ini + " [Ports] COM3: \"ttyUSB0\" is not a device path (one starting with '/'); /dev/ttyS2 "
                                  "is used."));
}

TEST_F(SettingsTest, ChosenPortDeviceIsSavedAndTakesEffectAtTheNextStart) {
    dir.Write("Korvan.ini", "[Ports]\nCOM3=/dev/ttyUSB1\nCOM2=usb\n");
    console.InitControls(std::nullopt);
    EXPECT_EQ(console.settings().PortMapInEffect().Device(3), "/dev/ttyUSB1");
    EXPECT_EQ(console.settings().PortDevice(2), "/dev/ttyS1");
    EXPECT_THAT(view.details, ElementsAre(HasSubstr("Korvan.ini [Ports] COM2: \"usb\" is not a device path")));

    console.SettingsToSave().Write();
    const std::string recordLine = RecordLine(dir.Read("Korvan.ini"));
    ASSERT_NE(recordLine, "");
    EXPECT_TRUE(console.ChoosePortDevice(3, "/dev/ttyACM0"));
    EXPECT_FALSE(console.ChoosePortDevice(1, ""));
    EXPECT_FALSE(console.ChoosePortDevice(0, "/dev/ttyACM0"));
    EXPECT_EQ(console.settings().PortDevice(3), "/dev/ttyACM0");
    EXPECT_EQ(console.settings().PortMapInEffect().Device(3), "/dev/ttyUSB1");
    ASSERT_TRUE(console.SettingsToSave().Write());
    EXPECT_EQ(RecordLine(dir.Read("Korvan.ini")), recordLine);

    view.details.clear();
    console.LoadSettings();
    EXPECT_EQ(console.settings().PortMapInEffect().Device(3), "/dev/ttyACM0");
    EXPECT_EQ(console.settings().PortMapInEffect().Device(1), "/dev/ttyS0");
    EXPECT_THAT(view.details, ElementsAre());
}

TEST_F(SettingsTest, AnInstalledCopyReadsAndWritesTheSettingsDirectoryAndLeavesTheProgramDirectory) {
    TempDir settingsDir;
    settingsDir.Write("Korvan.ini", "[Ports]\nCOM1=/dev/ttyUSB0\n");
    manager.SetSettingsDirectory(settingsDir.dir());
    console.LoadSettings();
    EXPECT_EQ(console.settings().PortMapInEffect().Device(1), "/dev/ttyUSB0");

    // The catalogue still comes from the program directory, where the only copy is.
    console.StartProgrammer(queue, factory);
    Pump();
    EXPECT_EQ(view.chipNames.size(), TestChips().size());

    ASSERT_TRUE(console.SettingsToSave().Write());
    EXPECT_TRUE(ReadInfoSave(settingsDir.file("Korvan.ini")).has_value());
    EXPECT_FALSE(std::filesystem::exists(dir.file("Korvan.ini")));
}

// The Production section is judged by the rules a run starts with; a start that is no number
// is refused whether or not numbering is on, and a good one reaches the numbering.
TEST(ProductionSettingsTest, SerialStartMustBeANumberWhetherOrNotNumberingIsOn) {
    const auto parse = [](std::map<std::string, std::string> values) {
        return ParseProductionSettings([&values](const char* key) { return values[key]; }, "/base");
    };
    EXPECT_THAT(parse({{"SerialStart", "abc"}}).problems, ElementsAre("SerialStart: 'abc' is not a number"));
    EXPECT_THAT(parse({{"SerialStart", "12x"}, {"SerialNumber", "0x0100:4:bcd"}, {"SerialCounter", "c"}}).problems,
                ElementsAre("SerialStart: '12x' is not a number"));

    const ProductionRead numbered =
        parse({{"SerialStart", "700"}, {"SerialNumber", "0x0100:4:bcd"}, {"SerialCounter", "c"}});
    ASSERT_TRUE(numbered.problems.empty()) << numbered.problems.front();
    ASSERT_TRUE(numbered.options.serial.has_value());
    EXPECT_EQ(numbered.options.serial->start, 700u);
    EXPECT_EQ(numbered.options.serial->counterPath, "/base/c");
    EXPECT_TRUE(parse({{"SerialStart", "700"}}).problems.empty());
}

}  // namespace
}  // namespace korvan::testing

#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSaveFile>
#include <QShortcut>
#include <QTabBar>
#include <QScreen>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>

#include "app/auto_button.h"
#include "app/buffer_pages.h"
#include "app/hot_key.h"
#include "app/hot_key_dialog.h"
#include "app/last_file_dialog.h"
#include "app/operation_icons.h"
#include "app/operator_panel.h"
#include "app/property_grid.h"
#include "app/status_list.h"
#include "app/window_reports.h"
#include "app/window_view.h"
#include "console/console.h"
#include "console/info_save.h"
#include "console/job_record.h"
#include "console/production.h"
#include "data/profile.h"
#include "data/serial_number.h"
#include "engine/event_code.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_files.h"
#include "programmers/programmer_types.h"

namespace korvan {
namespace {

constexpr const char* kHelpText = "Right click mouse button to toggle (Auto) action.";
// The chip-list editor, a separate program beside this one.
constexpr const char* kChipListEditorName = "Tessaly";

// Dialog units of the classic layout (386 x 270) in this font: a quarter of the average
// character width across, an eighth of the character height down.
QSize ClassicWindowSize(const QFontMetrics& metrics) {
    const int averageWidth = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) / 52;
    return {386 * averageWidth / 4 * 5 / 4, 270 * metrics.height() / 8 * 5 / 4};
}

// Qt's own save dialog (it asks before overwriting), made once and opened without waiting.
QFileDialog* SaveDialog(QWidget& parent, const QString& title, const QStringList& filters, const QString& suffix) {
    auto* dialog = new QFileDialog(&parent, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters(filters);
    dialog->setDefaultSuffix(suffix);
    return dialog;
}

}  // namespace

MainWindow::MainWindow(WindowSetup setup, QWidget* parent)
    : QWidget(parent),
      setup_(std::move(setup)),
      controls_(BuildWindowControls(*this)),
      settingsItems_(*controls_.grid) {
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    setWindowIcon(MakeOperationIcon(static_cast<int>(OperationIcon::Window)));
    AddChipListAction();
    AddAboutAction();

    manager_ = std::make_unique<ProgrammerManager>();
    manager_->SetProgramDirectory(setup_.programDir);
    manager_->SetSettingsDirectory(setup_.settingsDir);
    view_ = std::make_unique<WindowView>(
        *this, controls_, settingsItems_, [this](SettingItem item) { return console_->settings().Chosen(item); },
        [this] { return console_->settings().SwitchValue(SettingItem::SoundOn) != 0; });
    timer_ = std::make_unique<WindowTimer>(*this);
    console_ = std::make_unique<Console>(*manager_, *view_, *timer_);
    worker_ = std::make_unique<WindowWorker>();
    console_->SetWorker(worker_.get());
    reports_ = new WindowReports([this](const Report& report) { HandleReport(report); }, this);

    view_->SetOpenIgnoringChecksums([this](const std::string& path) { console_->OpenIgnoringChecksums(path); });
    view_->SetCommandsSwitched([this] { RefreshStop(); });
    // Only a file that loaded goes into the recent list.
    console_->SetImageLoaded([this](const std::string& path) {
        RememberLoadedFile(path);
        ShowLoadedImage(path);
    });
    recentFiles_.emplace(manager_->settingsDirectory());
    recentFiles_->ReadList();

    hotKey_ = setup_.hotKeyGrab ? setup_.hotKeyGrab() : MakeX11HotKeyGrab();
    hotKey_->SetArrival([this] { OnOperation(Button::Auto); });

    settingsItems_.Build();
    AddShortcuts();
    ConnectButtons();
    ConnectSettings();
    ConnectBufferPages(controls_, *console_);
    FitToScreen();  // once the buttons have their pictures: they decide the column's width
}

// A screen too small for the layout (a large scale factor) gets a window that fits it: the
// operation column and the pages scroll instead (the layout's minimum is small for that).
void MainWindow::FitToScreen() {
    QSize room(1 << 16, 1 << 16);
    if (const QScreen* place = screen()) {
        constexpr QSize kFrameAllowance(16, 48);  // the window manager's frame and title bar
        room = place->availableGeometry().size() - kFrameAllowance;
    }
    resize(ClassicWindowSize(fontMetrics()).expandedTo(sizeHint()).boundedTo(room));
}

MainWindow::~MainWindow() {
    DisconnectBufferPages(controls_);  // the views outlive the console that owns their buffers
    EnableHotKey(false);
    worker_.reset();  // runs what is queued (records, the settings); a file read's result is dropped
    // The back-end's threads post into reports_: they end first.
    manager_->ShutdownBackend();
    if (factory_) {
        factory_->Finish();
    }
}

void MainWindow::Start() {
    console_->InitControls(ReadInfoSave(console_->SettingsFilePath()));
    StartProduction();
    ShowProductionSettings();
    const PortMap& ports = console_->settings().PortMapInEffect();
    settingsItems_.ShowPortDevices(ports.devices, ListSerialDevices());
    ProgrammerOptions programmer = setup_.programmer;
    programmer.comPortDevices = ports.devices;
    factory_ = std::make_unique<ProgrammerFactory>(std::move(programmer));
    if (const std::string problem = factory_->Prepare(); !problem.empty()) {
        view_->ShowMessage(Message("The programmer cannot start.", kDefaultCaption, problem));
    }
    console_->StartProgrammer(*reports_, *factory_);
    ReadChipLock();
    for (const std::string& error : factory_->errors()) {
        console_->AddStatus(error);
    }
    EnableHotKey(console_->settings().SwitchValue(SettingItem::HotKeys) != 0);
    if (!setup_.imageFile.empty()) {
        console_->OnOpen(setup_.imageFile);
    }
}

// A failed registration is not reported: the program goes on as if there were no hot key.
void MainWindow::EnableHotKey(bool on) {
    if (on) {
        const SettingsModel& settings = console_->settings();
        hotKeyRegistered_ = hotKey_->Register(settings.hotKeyCode(), settings.hotKeyModifiers());
        return;
    }
    if (hotKeyRegistered_) {
        hotKey_->Unregister();
    }
    hotKeyRegistered_ = false;
}

// The old key is let go before the dialog can change it, and caught again however it ends.
void MainWindow::EditHotKey() {
    const SettingsModel& settings = console_->settings();
    auto* dialog = new HotKeyDialog(settings.hotKeyCode(), settings.hotKeyModifiers(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) { OnHotKeyEdited(*dialog, result); });
    EnableHotKey(false);
    dialog->open();
}

void MainWindow::OnHotKeyEdited(const HotKeyDialog& dialog, int result) {
    if (result == QDialog::Accepted) {
        console_->SetHotKey(dialog.keyCode(), dialog.modifiers());
    }
    EnableHotKey(true);
}

void MainWindow::AddAboutAction() {
    auto* about = new QAction(QStringLiteral("&About Korvan..."), this);
    about->setShortcut(QKeySequence::HelpContents);
    connect(about, &QAction::triggered, this, &MainWindow::ShowAboutBox);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainWindow::AddChipListAction() {
    auto* editChipList = new QAction(QStringLiteral("Edit Chip List..."), this);
    connect(editChipList, &QAction::triggered, this, &MainWindow::StartChipListEditor);
    addAction(editChipList);
}

void MainWindow::ShowAboutBox() {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Korvan"),
                                QStringLiteral("<b>%1</b>").arg(QString::fromUtf8(kProgramTitle)), QMessageBox::Ok, this);
    box->setInformativeText(
        QStringLiteral("Programs 8051-family microcontrollers through the Tamblin serial programmer and the "
                       "Ferrow, Atmel and Altera ByteBlaster parallel-port cables."));
    box->setIconPixmap(windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void MainWindow::ConnectButtons() {
    for (std::size_t i = 0; i < controls_.buttons.size(); ++i) {
        const auto button = static_cast<Button>(i);
        AutoButton* control = controls_.buttons[i];
        connect(control, &QPushButton::clicked, this, [this, button] { OnOperation(button); });
        connect(control, &AutoButton::autoToggleRequested, this,
                [this, button] { console_->SetAutoState(button, !console_->AutoState(button)); });
    }
    using Toggle = AutoButton::AutoToggle;
    using Follows = AutoButton::FollowsStatus;
    controls_.button(Button::Open)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Open);
    controls_.button(Button::Save)->SetupButton(Toggle::No, Follows::No, OperationIcon::Save);
    controls_.button(Button::Erase)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Erase, OperationIcon::EraseRunning);
    controls_.button(Button::Write)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Write, OperationIcon::WriteRunning);
    controls_.button(Button::Read)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Read, OperationIcon::ReadRunning);
    controls_.button(Button::Verify)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Verify,
                                                  OperationIcon::VerifyRunning);
    controls_.button(Button::Encrypt)->SetupButton(Toggle::Yes, Follows::Yes, OperationIcon::Encrypt);
    controls_.button(Button::Auto)->SetupButton(Toggle::No, Follows::Yes, OperationIcon::Auto);
    controls_.button(Button::Check)->SetupButton(Toggle::No, Follows::No);
    controls_.button(Button::WriteBit)->SetupButton(Toggle::No, Follows::No);
    controls_.blankButton->SetupButton(Toggle::Yes, Follows::No);
    connect(controls_.blankButton, &QPushButton::clicked, this, &MainWindow::OnBlankClicked);
    connect(controls_.blankButton, &AutoButton::autoToggleRequested, this, [this] { SetAutoBlank(!autoBlank_); });
    connect(controls_.stopButton, &QPushButton::clicked, this, [this] {
        console_->StopOperation(true);
        RefreshStop();
    });
    connect(controls_.exitButton, &QPushButton::clicked, this, &MainWindow::OnExitClicked);
    connect(controls_.helpButton, &QPushButton::clicked, this, &MainWindow::OnHelpClicked);
    connect(controls_.chipListLink, &QLabel::linkActivated, this, &MainWindow::StartChipListEditor);
    // The operator's pick only: the console's own choice, shown in the list, comes back as nothing.
    connect(controls_.chips, &QComboBox::activated, this, [this](int index) {
        console_->SelectChip(index);
        FollowChipInImageLine();
    });
    connect(controls_.pages, &QTabWidget::currentChanged, this, [this](int page) {
        if (page != console_->currentPage()) {
            console_->ShowPage(page);
        }
    });
}

void MainWindow::AddShortcuts() {
    const auto add = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    add(QKeySequence::Open, [this] { OnOperation(Button::Open); });
    add(QKeySequence::Save, [this] { OnSaveShortcut(); });
    add(QKeySequence(Qt::Key_F5), [this] { OnOperation(Button::Auto); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { StepPage(1); });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { StepPage(-1); });
    connect(controls_.status, &StatusList::saveRequested, this, &MainWindow::SaveStatusList);
}

// A hex view keeps Tab for its two columns: Ctrl+Tab is the way out of it, so a page left
// with the focus inside hands the focus to the page tabs rather than to whatever comes next.
void MainWindow::StepPage(int step) {
    QTabWidget& pages = *controls_.pages;
    const QWidget* page = pages.currentWidget();
    const bool focusInPage = page != nullptr && page->isAncestorOf(QApplication::focusWidget());
    pages.setCurrentIndex((pages.currentIndex() + step + pages.count()) % pages.count());
    if (focusInPage) {
        pages.tabBar()->setFocus(Qt::TabFocusReason);
    }
}

void MainWindow::OnSaveShortcut() {
    if (controls_.pages->currentIndex() == StatusPage) {
        return SaveStatusList();
    }
    OnOperation(Button::Save);
}

void MainWindow::SaveStatusList() {
    if (statusDialog_ == nullptr) {
        statusDialog_ = SaveDialog(*this, QStringLiteral("Save Status List"),
                                   {QStringLiteral("Text(*.txt)"), QStringLiteral("All Files(*)")}, QStringLiteral("txt"));
        connect(statusDialog_, &QFileDialog::fileSelected, this, &MainWindow::StatusListChosen);
    }
    statusDialog_->open();
}

void MainWindow::StatusListChosen(const QString& path) {
    QSaveFile file(path);
    const QByteArray text = controls_.status->AllText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        ShowBox(QStringLiteral("Save Error."), path + QStringLiteral(" could not be written: ") + file.errorString());
        return;
    }
    console_->AddStatus("Status list saved to " + path.toStdString() + ".");
}

void MainWindow::ConnectSettings() {
    connect(controls_.grid, &PropertyGrid::valueChanged, this, &MainWindow::OnSettingChanged);
}

void MainWindow::OnOperation(Button button) {
    if (button == Button::Open || button == Button::Save) {
        controls_.panel->NotARun();
    } else if (console_->CommandEnabled(button)) {
        TakeUpProductionChange();
        ApplyChipLock();
        controls_.panel->RunStarted();
    }
    RunCommand(button);
    RefreshStop();
}

void MainWindow::RunCommand(Button button) {
    switch (button) {
        case Button::Check:
            return console_->OnCheck();
        case Button::Open:
            return OnOpenClicked();
        case Button::Save:
            return OnSaveClicked();
        case Button::Erase:
            return console_->OnErase();
        case Button::Write:
            return console_->OnWrite();
        case Button::Read:
            return console_->OnRead();
        case Button::Verify:
            return console_->OnVerify();
        case Button::Auto:
            return console_->OnAuto();
        case Button::Encrypt:
            return console_->OnEncrypt();
        case Button::WriteBit:
            return console_->OnWriteBit();
    }
}

void MainWindow::OnBlankClicked() {
    if (!controls_.blankButton->commandEnabled()) {
        return;
    }
    TakeUpProductionChange();
    ApplyChipLock();
    controls_.panel->RunStarted();
    console_->OnBlank();
    RefreshStop();
}

void MainWindow::SetAutoBlank(bool on) {
    autoBlank_ = on;
    controls_.blankButton->SetAutoState(on);
    console_->SetAutoBlank(on);
}

void MainWindow::RefreshStop() { controls_.stopButton->setEnabled(console_->Busy()); }

void MainWindow::OnOpenClicked() {
    if (!console_->CommandEnabled(Button::Open)) {
        return;
    }
    if (openDialog_ == nullptr) {
        openDialog_ = new LastFileDialog(*recentFiles_, this);
        connect(openDialog_, &LastFileDialog::pathChosen, this,
                [this](const QString& path) { console_->OnOpen(path.toStdString()); });
    }
    // The file as each opening leaves it, in its turn after the writes queued before: the count
    // written back creates it, and a hand-edited one keeps its ten newest entries.
    worker_->Run([dir = manager_->settingsDirectory()] { RecentFiles(dir).LoadList(); }, [] {});
    openDialog_->OpenWithRecentFiles();
}

// The window's list is the one the dialog shows; the worker writes a copy of it after the jobs
// queued before (a run's record may wait there for the job log's lock).
void MainWindow::RememberLoadedFile(const std::string& path) {
    recentFiles_->AddPath(path);
    worker_->Run([kept = *recentFiles_] { kept.SaveList(); }, [] {});
    recentFiles_->CutToStoredLength();
}

void MainWindow::OnSaveClicked() {
    if (!console_->CommandEnabled(Button::Save)) {
        return;
    }
    if (saveDialog_ == nullptr) {
        saveDialog_ = SaveDialog(*this, QStringLiteral("Save Buffer2"),
                                 {QStringLiteral("Binary(*.bin)"), QStringLiteral("Intel Hex File(*.hex)")},
                                 QStringLiteral("bin"));
        connect(saveDialog_, &QFileDialog::filterSelected, saveDialog_, [this](const QString& filter) {
            saveDialog_->setDefaultSuffix(filter.contains(QStringLiteral("*.hex")) ? QStringLiteral("hex")
                                                                                   : QStringLiteral("bin"));
        });
        connect(saveDialog_, &QFileDialog::fileSelected, this, &MainWindow::SaveChosen);
    }
    saveDialog_->open();  // asks before overwriting
}

void MainWindow::SaveChosen(const QString& path) {
    switch (console_->OnSave(path.toStdString())) {
        case SaveOutcome::CannotCreate:
            ShowBox(QStringLiteral("Save Error."), path + QStringLiteral(" cannot be created."));
            break;
        case SaveOutcome::WriteFailed:
            ShowBox(QStringLiteral("Save Error."),
                    path + QStringLiteral(" could not be written whole; a file that was there is unchanged."));
            break;
        case SaveOutcome::Saved:
        case SaveOutcome::NotEnabled:
            break;
    }
}

void MainWindow::ShowBox(const QString& text, const QString& detail) {
    view_->ShowMessage(Message(text.toStdString(), kDefaultCaption, detail.toStdString()));
}

void MainWindow::OnSettingChanged(int item) {
    PropertyGrid& grid = *controls_.grid;
    if (const char* key = settingsItems_.ProductionKeyOf(item)) {
        return OnProductionEdited(key);
    }
    if (item == settingsItems_.lockChipItem()) {
        lockChip_ = grid.ValueText(item) == QStringLiteral("True");
        lockChipChosen_ = true;
        if (!lockChip_) {
            expectedChip_.reset();  // the operator's word beats ExpectChip for this session
        }
        return;
    }
    if (item == settingsItems_.deviceItem()) {
        const int comPort = console_->settings().Chosen(SettingItem::Port) + 1;
        if (comPort >= 1 && comPort <= 4) {
            console_->ChoosePortDevice(comPort, grid.ValueText(item).trimmed().toStdString());
            settingsItems_.ShowPortDevices(console_->settings().ChosenPortMap().devices, ListSerialDevices());
        }
        return;
    }
    const std::optional<SettingItem> setting = settingsItems_.ItemOf(item);
    if (!setting) {
        return;
    }
    switch (*setting) {
        case SettingItem::AutoCheck:
        case SettingItem::SoundOn:
            console_->SetSwitch(*setting, grid.ValueText(item) == QStringLiteral("True"));
            break;
        case SettingItem::HotKeys:
            console_->SetSwitch(*setting, grid.ValueText(item) == QStringLiteral("True"));
            if (console_->settings().SwitchValue(SettingItem::HotKeys) != 0) {
                EditHotKey();
            }
            break;
        default:
            console_->ChooseSetting(*setting, grid.ChosenIndex(item));
            break;
    }
}

// Leaves without the close path: the settings are saved here, once. The back-end stops before
// the event loop ends so that no operation goes on, and no report arrives, while the window
// is torn down; the process then ends through the normal return from the event loop.
void MainWindow::OnExitClicked() {
    if (console_->Busy()) {
        return AskToStop(AfterStop::Exit);
    }
    SaveAllSettings();
    settingsSaved_ = true;
    manager_->ShutdownBackend();
    QCoreApplication::exit(0);
}

// Runs on its own, from the program directory; the window neither waits for it nor reloads
// the chip list after it. A missing or failing editor shows nothing.
void MainWindow::StartChipListEditor() {
    const QString dir = QString::fromStdString(setup_.programDir);
    QProcess::startDetached(dir + QString::fromUtf8(kChipListEditorName), {}, dir);
}

void MainWindow::OnHelpClicked() {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                                QString::fromUtf8(kHelpText), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

// Enter runs the Auto sequence (no button is the default one); Escape closes, as the close box,
// and asks to stop an operation that runs instead.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OnOperation(Button::Auto);
            return;
        case Qt::Key_Escape:
            // While an operation runs, Escape offers to stop it and the window stays.
            if (console_->Busy()) {
                return AskToStop(AfterStop::Stay);
            }
            close();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (console_->Busy() && !leaving_) {
        event->ignore();
        return AskToStop(AfterStop::Close);
    }
    if (!settingsSaved_) {
        SaveAllSettings();
        settingsSaved_ = true;
    }
    event->accept();
}

namespace {

// Whether the chip's ROM read back all 0xFF.
bool ReadsBlank(const ProgrammerManager& manager) {
    const ChipRecord* chip = manager.CurrentChip();
    const std::size_t rom = chip != nullptr ? std::min(chip->RomBytes(), kImageSize) : kImageSize;
    const Image& read = manager.Buffer2();
    return std::all_of(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(rom),
                       [](std::uint8_t byte) { return byte == kBlank; });
}

// The window's own switches, kept in Korvan.ini beside the record.
constexpr const char* kWindowSection = "Window";
constexpr const char* kLockChipKey = "LockChip";
constexpr const char* kAutoBlankKey = "AutoBlank";

}  // namespace

void MainWindow::ReadChipLock() {
    const std::string ini = console_->SettingsFilePath();
    SetAutoBlank(profile::ReadInt(ini, kWindowSection, kAutoBlankKey, 0) != 0);
    lockChip_ = profile::ReadInt(ini, kWindowSection, kLockChipKey, 0) != 0;
    controls_.grid->SetValueText(settingsItems_.lockChipItem(), lockChip_ ? QStringLiteral("True") : QStringLiteral("False"));
    ReadExpectChip();
}

void MainWindow::ApplyChipLock() {
    if (!lockChip_) {
        console_->RequireChip(std::nullopt);
        return;
    }
    const int selected = controls_.chips->currentIndex();
    console_->RequireChip(expectedChip_ ? expectedChip_ : selected >= 0 ? std::optional<int>(selected) : std::nullopt);
}

void MainWindow::HandleReport(const Report& report) {
    console_->Handle(report);
    RefreshStop();
    FollowChipInImageLine();
    const std::optional<int> code = ReportCode(report);
    if (!code) {
        return;
    }
    switch (*code) {
        case ChipIdentified:
            lockWritten_ = false;
            ShowIdentifiedChip();
            break;
        case LockBitDone:
            lockWritten_ = true;
            break;
        case ReadDone:
            if (lockWritten_ && ReadsBlank(*manager_)) {
                ShowIdentifiedChip();
                controls_.panel->ShowChip(controls_.panel->chipText() +
                                          QStringLiteral(" - reads all 0xFF after its lock: it may be locked"));
            }
            break;
        default:
            break;
    }
    if (const std::optional<std::uint64_t> serial = console_->lastSerial()) {
        controls_.panel->ShowSerial(QStringLiteral("Serial Number %1").arg(*serial));
    }
}

void MainWindow::ShowIdentifiedChip() {
    const ChipRecord* chip = manager_->CurrentChip();
    if (chip == nullptr) {
        return;
    }
    const Signature signature = manager_->signature();
    controls_.panel->ShowChip(QStringLiteral("Chip: %1  Signature %2 %3 %4  ROM %5 KiB  Programming %6 V")
                                  .arg(QString::fromStdString(chip->name))
                                  .arg(signature[0], 2, 16, QLatin1Char('0'))
                                  .arg(signature[1], 2, 16, QLatin1Char('0'))
                                  .arg(signature[2], 2, 16, QLatin1Char('0'))
                                  .arg(static_cast<int>(chip->romSizeKiB))
                                  .arg(static_cast<double>(chip->programmingVoltage), 0, 'f', 2));
}

namespace {

// The image's own figures, whatever chip is selected: the bytes up to the last one that is not
// 0xFF (as the job log counts them when the chip holds the whole image), their checksums and
// the addresses of the first and last data bytes.
struct ImageFigures {
    ImageDigest digest;
    std::optional<std::pair<std::size_t, std::size_t>> range;
};

ImageFigures FiguresOf(const Image& image) {
    const auto data = [](std::uint8_t byte) { return byte != kBlank; };
    const auto first = std::find_if(image.begin(), image.end(), data);
    if (first == image.end()) {
        return {DigestImage({}), std::nullopt};
    }
    const auto used = static_cast<std::size_t>(image.rend() - std::find_if(image.rbegin(), image.rend(), data));
    return {DigestImage(std::span(image.data(), used)),
            std::pair{static_cast<std::size_t>(first - image.begin()), used - 1}};
}

}  // namespace

void MainWindow::ShowLoadedImage(const std::string& path) {
    imageName_ = QString::fromStdString(std::filesystem::path(path).filename().string());
    ShowImageLine();
}

const ChipRecord* MainWindow::SelectedChip() const {
    const int index = console_->chipSelection();
    const ChipCatalogue& catalogue = manager_->catalogue();
    return index >= 0 && static_cast<std::size_t>(index) < catalogue.size() ? &catalogue[static_cast<std::size_t>(index)]
                                                                            : nullptr;
}

void MainWindow::ShowImageLine() {
    const ChipRecord* chip = SelectedChip();
    imageLineChip_ = chip;
    const ImageFigures figures = FiguresOf(manager_->Buffer1());
    char range[32] = "no data";
    if (figures.range) {
        std::snprintf(range, sizeof range, "0x%04zX-0x%04zX", figures.range->first, figures.range->second);
    }
    QString line = QStringLiteral("Image: %1  %2 bytes  %3  CRC-32 %4  SHA-256 %5")
                       .arg(imageName_)
                       .arg(figures.digest.bytes)
                       .arg(QLatin1String(range))
                       .arg(figures.digest.crc32, 8, 16, QLatin1Char('0'))
                       .arg(QString::fromStdString(figures.digest.sha256.substr(0, 12)));
    if (chip != nullptr && chip->RomBytes() < figures.digest.bytes) {
        line += QStringLiteral("  - larger than the %1's %2-byte ROM")
                    .arg(QString::fromStdString(chip->name))
                    .arg(chip->RomBytes());
    }
    controls_.panel->ShowImage(line);
}

// The line says whether the selected chip holds the image, so it follows the selection.
void MainWindow::FollowChipInImageLine() {
    if (!imageName_.isEmpty() && SelectedChip() != imageLineChip_) {
        ShowImageLine();
    }
}

// Written by the worker, which runs every job it was given before the window is gone: the
// window thread never waits for the disk, and the settings are kept however soon it ends.
void MainWindow::SaveAllSettings() {
    // ExpectChip turns the lock on for its session only; the switch keeps what the operator chose.
    const std::optional<bool> lockChip = lockChipChosen_ ? std::optional<bool>(lockChip_) : std::nullopt;
    worker_->Run(
        [kept = console_->SettingsToSave(), autoBlank = autoBlank_, lockChip] {
            kept.Write();
            profile::WriteString(kept.iniPath, kWindowSection, kAutoBlankKey, autoBlank ? "1" : "0");
            if (lockChip) {
                profile::WriteString(kept.iniPath, kWindowSection, kLockChipKey, *lockChip ? "1" : "0");
            }
        },
        [] {});
}

namespace {

// The question before cutting `step` off: what it leaves the chip as.
QString StopQuestion(const std::string& step) {
    if (step == "write") return QStringLiteral("A write is in progress. Stop it and leave the chip incomplete?");
    if (step == "erase") return QStringLiteral("An erase is in progress. Stop it and leave the chip partly erased?");
    if (step == "lock" || step == "encrypt") {
        return QStringLiteral("A lock-bit write is in progress. Stop it and leave the lock bits unset?");
    }
    if (step == "read") return QStringLiteral("A read is in progress. Stop it?");
    if (step == "verify") return QStringLiteral("A verification is in progress. Stop it?");
    if (step == "blank") return QStringLiteral("A blank check is in progress. Stop it?");
    return QStringLiteral("A check is in progress. Stop it?");
}

}  // namespace

void MainWindow::AskToStop(AfterStop after) {
    if (stopQuestion_ != nullptr) {
        return;  // asked already
    }
    stopQuestion_ = new QMessageBox(QMessageBox::Question, QString::fromUtf8(kDefaultCaption),
                                    StopQuestion(console_->runningStep()), QMessageBox::Yes | QMessageBox::No, this);
    stopQuestion_->setDefaultButton(QMessageBox::No);
    stopQuestion_->setAttribute(Qt::WA_DeleteOnClose);
    stopQuestion_->setWindowModality(Qt::WindowModal);
    connect(stopQuestion_, &QMessageBox::finished, this, [this, after](int answer) {
        if (answer == QMessageBox::Yes) {
            StopAnd(after);
        }
    });
    stopQuestion_->open();
}

// The operation may have ended while the question was open: then there is nothing to stop.
void MainWindow::StopAnd(AfterStop after) {
    console_->StopOperation(after == AfterStop::Stay);
    RefreshStop();
    switch (after) {
        case AfterStop::Stay:
            return;
        case AfterStop::Close:
            leaving_ = true;
            close();
            return;
        case AfterStop::Exit:
            OnExitClicked();
            return;
    }
}

}  // namespace korvan

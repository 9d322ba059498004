// The window's production settings: Korvan.ini's Production section, read at start, edited on
// the Settings page, and taken up again by the next run after an edit.
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "app/main_window.h"
#include "app/operator_panel.h"
#include "app/property_grid.h"
#include "app/window_reports.h"
#include "app/window_view.h"
#include "console/console.h"
#include "console/production.h"
#include "data/profile.h"
#include "data/serial_number.h"
#include "engine/programmer_manager.h"
#include "programmers/programmer_types.h"
#include "store/postgres_store.h"

namespace korvan {

// Korvan.ini's Production section as a run takes it up: the settings with what keeps them
// from being used, and the chip every run must find.
struct ProductionSection {
    ProductionRead read;
    std::string expectChip;
};

// The answer to an edit of the Production section.
struct ProductionEditAnswer {
    std::string problem;  // why the edit was refused; empty when it was kept
    std::string shown;    // what the page shows for the key afterwards
    std::shared_ptr<const ProductionSection> section;  // when kept: the section as it now stands
};

namespace {

constexpr const char* kProductionSection = "Production";
constexpr const char* kExpectChipKey = "ExpectChip";
constexpr std::string_view kStoreKey = "Store";

std::string SavedValue(const std::string& ini, const char* key) {
    return profile::ReadString(ini, kProductionSection, key, "", kMaxProductionValueChars + 1);
}

// The page never shows the store's password; an edit keeps it where "***" stands.
std::string ShownValue(const char* key, const std::string& saved) {
    return key == kStoreKey ? WithoutPassword(saved) : saved;
}
std::string EditedValue(const char* key, const std::string& shown, const std::string& saved) {
    return key == kStoreKey ? WithSavedPassword(shown, saved) : shown;
}

// Why the section with these values cannot be used, by the rules a run starts with (those of
// the command line); empty when it can.
std::string ProductionValuesProblem(const std::function<std::string(const char*)>& value, const std::string& baseDir,
                                    const ChipCatalogue& catalogue) {
    const ProductionRead read = ParseProductionSettings(value, baseDir);
    if (!read.problems.empty()) {
        return read.problems.front();
    }
    // The store's server is asked by the next run, off the window's thread, not by an edit.
    if (std::string problem = LocalProductionProblem(read.options); !problem.empty()) {
        return problem;
    }
    const std::string chip = value(kExpectChipKey);
    if (!chip.empty() && !catalogue.Resolve(chip)) {
        return std::string(kExpectChipKey) + ": no chip '" + chip + "' in the chip list";
    }
    return {};
}

// Files are read and looked at: after an edit, this runs off the window's thread.
ProductionSection ReadProductionSection(const std::string& iniPath) {
    ProductionSection section;
    section.read = ReadProductionSettings(iniPath, std::filesystem::path(iniPath).parent_path().string());
    if (section.read.problems.empty()) {
        // The store's server is asked at each run, not here: it may be away now and back later.
        if (const std::string problem = LocalProductionProblem(section.read.options); !problem.empty()) {
            section.read.problems.push_back(problem);
        }
    }
    section.expectChip = SavedValue(iniPath, kExpectChipKey);
    return section;
}

// Relative paths are taken from Korvan.ini's directory. Settings that cannot be used, or a
// Korvan.ini that cannot be read, refuse every chip command until they are fixed, as
// korvan-cli refuses to start: no chip is programmed without its number.
ProductionOptions TakeUpProduction(Console& console, ProductionRead read) {
    ProductionOptions& options = read.options;
    for (const std::string& problem : read.problems) {
        console.AddStatus("Production: " + problem);
    }
    if (!read.problems.empty()) {
        options.serial.reset();
        console.RefuseChipCommands("Production: " + read.problems.front());
    } else {
        console.RefuseChipCommands({});  // settings fixed since the last run
    }
    if (!options.jobLogPath.empty()) {
        console.AddStatus("Job Log: " + options.jobLogPath);
    }
    if (options.serial) {
        console.AddStatus("Serial Numbers: " + DescribePlacement(options.serial->placement) + " from " +
                          DescribeNumberSource(StoreSettings(options)));
    }
    return options;
}

// The answer to an edit: one that brings a problem the saved section does not have is
// refused; any other is written to Korvan.ini. Reads, checks and writes files: on the
// window's worker.
ProductionEditAnswer AnswerProductionEdit(const std::string& ini, const char* key, const std::string& shownValue,
                                          const ChipCatalogue& catalogue) {
    const std::string baseDir = std::filesystem::path(ini).parent_path().string();
    const auto saved = [&ini](const char* name) { return SavedValue(ini, name); };
    const std::string value = EditedValue(key, shownValue, saved(key));
    const auto edited = [&](const char* name) { return std::string_view(name) == key ? value : saved(name); };
    ProductionEditAnswer answer;
    answer.problem = ProductionValuesProblem(edited, baseDir, catalogue);
    if (!answer.problem.empty() && answer.problem == ProductionValuesProblem(saved, baseDir, catalogue)) {
        answer.problem.clear();  // the section had it before: the edit is no worse
    }
    if (answer.problem.empty() && !profile::WriteString(ini, kProductionSection, key, value)) {
        answer.problem = ini + " cannot be written";
    }
    if (!answer.problem.empty()) {
        answer.shown = ShownValue(key, saved(key));
        return answer;
    }
    answer.shown = ShownValue(key, value);
    answer.section = std::make_shared<const ProductionSection>(ReadProductionSection(ini));
    return answer;
}

QString JobTotalsLine(const std::string& job, const JobTotalsRead& read) {
    const QString named = QStringLiteral("Job %1, all stations: ").arg(QString::fromStdString(job));
    if (!read.totals) {
        return named + QStringLiteral("not read");
    }
    const JobTotals& totals = *read.totals;
    return named + QStringLiteral("Runs %1  ").arg(totals.runs) +
           OperatorPanel::Counters(totals.passed, totals.runs - totals.passed);
}

// The job's totals in the shared store, beside the window's own counters: read at start and
// after each run's record, on the worker that keeps the records, never on the window's thread.
void FollowJobTotals(const std::string& job, ProductionLine& line, Worker& worker, OperatorPanel& panel) {
    const auto show = [&panel, job](const JobTotalsRead& read) {
        panel.ShowJobTotals(JobTotalsLine(job, read), QString::fromStdString(read.error));
    };
    auto first = std::make_shared<JobTotalsRead>();
    worker.Run([&line, first] { *first = line.ReadTotals(); }, [show, first] { show(*first); });
    line.SetRecordKept([&line, &panel, show] {
        const JobTotalsRead read = line.ReadTotals();
        QMetaObject::invokeMethod(&panel, [show, read] { show(read); }, Qt::QueuedConnection);
    });
}

// The grid's choices take effect at the next start only: the settings in effect name the
// programmer of every run until then.
JobSite ProductionSite(const SettingsModel& settings, const ProgrammerOptions& programmer) {
    const ProgrammerTypeInfo* type = FindProgrammerType(settings.programmerType());
    const std::string port = PortLabel(settings.programmerType(), programmer.simulate, programmer.devicePath,
                                       settings.PortMapInEffect().Device(settings.comPort()));
    return JobSite{1, port, type != nullptr ? type->commandName : ""};
}

}  // namespace

void MainWindow::ShowProductionSettings() {
    const std::string ini = console_->SettingsFilePath();
    for (const char* key : SettingsGridItems::ProductionKeys()) {
        settingsItems_.ShowProductionValue(key, ShownValue(key, SavedValue(ini, key)));
    }
}

// The edit is checked and kept on the worker, after the records and edits queued before it.
// Until its answer is back the page shows the edit (the store's password already hidden) and
// a run goes on with the section taken up before, whole; the answer hands over the section
// as it stood right after this edit, which the next run takes up.
void MainWindow::OnProductionEdited(const char* key) {
    const std::string shown = settingsItems_.ProductionValue(key);
    settingsItems_.ShowProductionValue(key, ShownValue(key, shown));
    auto answer = std::make_shared<ProductionEditAnswer>();
    worker_->Run(
        [answer, ini = console_->SettingsFilePath(), key, shown, catalogue = manager_->catalogue()] {
            *answer = AnswerProductionEdit(ini, key, shown, catalogue);
        },
        [this, answer, key] { ShowProductionEditAnswer(key, *answer); });
}

void MainWindow::ShowProductionEditAnswer(const char* key, const ProductionEditAnswer& answer) {
    settingsItems_.ShowProductionValue(key, answer.shown);
    if (!answer.problem.empty()) {
        ShowBox(QStringLiteral("The production setting was not changed."), QString::fromStdString(answer.problem));
        return;
    }
    productionEdited_ = answer.section;
    // The line goes to the Status list; the operator, who may have more to edit, stays on the
    // page they are on (its focused control keeps the focus).
    const int page = console_->currentPage();
    console_->AddStatus("Production: " + std::string(key) + " changed; the next run uses it.");
    if (page != StatusPage) {
        console_->ShowPage(page);
    }
}

void MainWindow::TakeUpProductionChange() {
    if (productionEdited_ == nullptr || console_->Busy()) {
        return;
    }
    const std::shared_ptr<const ProductionSection> section = std::exchange(productionEdited_, nullptr);
    StartProduction(*section);
    TakeUpExpectChip(section->expectChip);
}

void MainWindow::StartProduction() {
    StartProduction(ReadProductionSection(console_->SettingsFilePath()));
}

// Every chip command is one run, which the console begins and closes: records are kept even
// without a job log. Settings that cannot be used refuse chip commands until they are fixed.
void MainWindow::StartProduction(const ProductionSection& section) {
    ProductionOptions options = TakeUpProduction(*console_, section.read);
    const std::string storedJob = options.storeUrl.empty() ? std::string() : options.job;
    auto line = std::make_unique<ProductionLine>(std::move(options),
                                                 ProductionSite(console_->settings(), setup_.programmer));
    console_->SetRunObserver(line.get());
    // The last run's stamp or record may still be in the worker's queue with the line it began
    // with: that line goes only after them, on the worker.
    if (production_ != nullptr) {
        worker_->Run([retired = std::shared_ptr<ProductionLine>(std::move(production_))] {}, [] {});
    }
    production_ = std::move(line);
    if (!storedJob.empty()) {
        FollowJobTotals(storedJob, *production_, *worker_, *controls_.panel);
    }
}

void MainWindow::ReadExpectChip() {
    TakeUpExpectChip(SavedValue(console_->SettingsFilePath(), kExpectChipKey));
}

void MainWindow::TakeUpExpectChip(const std::string& expected) {
    expectedChip_.reset();
    if (expected.empty()) {
        return;
    }
    if (const std::optional<std::size_t> index = manager_->catalogue().Resolve(expected)) {
        expectedChip_ = static_cast<int>(*index);
        lockChip_ = true;
        view_->SelectChip(*expectedChip_);
        console_->AddStatus("Expected Chip: " + manager_->catalogue()[*index].name);
    } else {
        console_->AddStatus("Production: ExpectChip: no chip '" + expected + "' in the chip list");
    }
    controls_.grid->SetValueText(settingsItems_.lockChipItem(), lockChip_ ? QStringLiteral("True") : QStringLiteral("False"));
}

}  // namespace korvan

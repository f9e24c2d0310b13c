#include "package/program_files.h"

#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

namespace norvane::package {

namespace {

// The entry's path below the work folder, without the separator that follows the folder.
std::string_view RelativePath(std::string_view entry, std::string_view folder) {
    std::string_view relative = entry.substr(std::min(folder.size(), entry.size()));
    if (!relative.empty() && relative.front() == platform::NativePathRules().separator)
        relative.remove_prefix(1);
    return relative;
}

} // namespace

std::vector<ProgramFile> ListProgramFiles(const std::string& programFolder,
                                          const std::string& folder) {
    std::vector<std::string> sources;
    platform::CollectFiles(sources, folder, "*.exe");
    platform::CollectFiles(sources, JoinPath(folder, "Report"), "*.fr3");
    std::vector<ProgramFile> files;
    files.reserve(sources.size());
    for (std::string& source : sources) {
        std::string destination = JoinPath(programFolder, RelativePath(source, folder));
        files.push_back({std::move(source), std::move(destination)});
    }
    return files;
}

std::optional<std::string> ProgramFilesProblem(const std::vector<ProgramFile>& files) {
    std::set<std::string> checkedFolders;
    for (const ProgramFile& file : files) {
        const std::string folder = ExecutableFolder(file.destination, platform::NativePathRules());
        if (checkedFolders.insert(folder).second) {
            if (const auto error = platform::CheckFolderWritable(folder))
                return "каталог " + folder + " недоступний для запису: " + error->message;
        }
        if (const auto error = platform::CheckReplaceable(file.destination))
            return "файл " + file.destination + " неможливо замінити: " + error->message;
    }
    return std::nullopt;
}

ProgramFilesOutcome InstallProgramFiles(ui::Window& window, const std::vector<ProgramFile>& files) {
    ui::ProgressBar bar(window);
    ui::Label fileLabel(window, ui::Control::lFile);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    bar.SetPosition(0);
    bar.SetMax(static_cast<int>(files.size()));
    timeLabel.SetVisible(true);

    ProgramFilesOutcome outcome;
    outcome.entries = static_cast<int>(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ProgramFile& file = files[i];
        const std::string name(FileNameOf(file.source));
        window.AddStatus(name + "...");
        fileLabel.SetFileCaption(name, i + 1, files.size());
        // The Report folder of the program folder is not created: templates have nowhere to go
        // in a product installed without one, and each says so in its own error line.
        if (const auto error = platform::CopyFileReplacing(file.source, file.destination)) {
            window.AddError("error (" + std::to_string(error->code) + ") " + error->message);
            ++outcome.failed;
        } else {
            window.MarkStatus("[OK]");
            outcome.copied.push_back(file.destination);
        }
        bar.Advance();
        window.PumpMessages();
        platform::ThrowIfInterrupted();
    }
    timeLabel.SetVisible(false);
    return outcome;
}

} // namespace norvane::package

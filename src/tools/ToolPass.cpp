#include "tools/ToolPass.h"

#include "base/LongPath.h"
#include "base/Paths.h"
#include "detection/TreeScan.h"
#include "hashing/Hashing.h"

#include <sys/stat.h>

namespace halcyra {

std::vector<PassFile> chosenFiles(const std::vector<std::string>& paths) {
    std::vector<PassFile> files;
    files.reserve(paths.size());
    for (const std::string& path : paths)
        files.push_back({path, static_cast<std::uint32_t>(folderPart(path).size())});
    return files;
}

bool listFolderFiles(std::string_view folder, std::vector<PassFile>& files, std::string& errorText,
                     PassProgress& progress, Clock* clock) {
    files.clear();
    errorText.clear();
    PlainList found;
    TTreeScanner scanner(found, nullptr, clock);
    scanner.OnDirectory = [&progress](const std::string&) { return progress.stopRequested(); };
    const bool scanned = scanner.Scan(folder, true, errorText);
    if (!scanned) {
        if (scanner.Aborted())
            errorText.clear();
        return false;
    }
    const auto nameAt = static_cast<std::uint32_t>(scanner.Root().size());
    files.reserve(found.size());
    while (!found.empty()) {
        auto node = found.extract(found.begin());
        files.push_back({std::move(node.key()), nameAt});
    }
    return true;
}

bool hashFiles(std::vector<PassFile>& files, PassProgress& progress, const RowWork& work,
               const std::function<bool(const PassFile&)>& skip) {
    TFileHashing hasher(TFileHashing::KindMD5);
    const std::function<bool()> poll = [&progress] { return progress.stopRequested(); };
    for (PassFile& file : files) {
        if (!skip || !skip(file)) {
            std::string hash = hasher.HashFile(file.path, poll);
            if (hasher.LastHashStopped())
                return false;
            work(file, rowHash(std::move(hash)));
        }
        if (progress.fileDone(file.path))
            return false;
    }
    return true;
}

bool recalculateRows(ToolRows& rows, const RowIndexes& selected, PassProgress& progress) {
    TFileHashing hasher(TFileHashing::KindMD5);
    const std::function<bool()> poll = [&progress] { return progress.stopRequested(); };
    for (std::size_t index : selected) {
        std::string hash = hasher.HashFile(rows[index].Path, poll);
        if (hasher.LastHashStopped())
            return false;
        rows[index].Hash = rowHash(std::move(hash));
        if (progress.fileDone({}))
            return false;
    }
    return true;
}

bool FileIdentities::seenBefore(const std::string& path) {
    struct stat info {};
    if (statLongPath(path, info, true) != 0)
        return false;
    return !m_seen
                .insert({static_cast<unsigned long long>(info.st_dev),
                         static_cast<unsigned long long>(info.st_ino)})
                .second;
}

} // namespace halcyra

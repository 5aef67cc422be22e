#include "tools/ToolPass.h"

#include "base/LongPath.h"
#include "base/Paths.h"
#include "detection/TreeScan.h"
#include "hashing/HashPool.h"
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

namespace {

// Hashes `count` files in order with a pool that hashes ahead: file i is `pathOf(i)`; `skip(i)`, asked in
// order as the file is handed in, leaves it unhashed; `use(i, hash)` takes its row hash and `done(i)`
// reports it (true stops). False when stopped, also inside a file (which then gets no use).
template <typename PathOf, typename Skip, typename Use, typename Done>
bool hashInOrder(std::size_t count, unsigned threads, PassProgress& progress, PathOf pathOf, Skip skip,
                 Use use, Done done) {
    const HashPlan plan = threads != 0 ? HashPlan(threads)
                          : count == 0 ? HashPlan(1)
                                       : hashPlanFor(std::string(folderPart(pathOf(0))));
    HashPool pool(TFileHashing::KindMD5, plan);
    const StopPoll poll = [&progress] { return progress.stopRequested(); };
    std::vector<bool> skipped(count);
    std::size_t ahead = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (; ahead < count && !pool.full(); ++ahead) {
            skipped[ahead] = skip(ahead);
            if (!skipped[ahead])
                pool.submit(pathOf(ahead));
        }
        if (!skipped[i]) {
            std::optional<std::string> hash = pool.take(&poll);
            if (!hash)
                return false;
            use(i, rowHash(std::move(*hash)));
        }
        if (done(i))
            return false;
    }
    return true;
}

} // namespace

bool hashFiles(std::vector<PassFile>& files, PassProgress& progress, const RowWork& work,
               const std::function<bool(const PassFile&)>& skip, unsigned threads) {
    return hashInOrder(
        files.size(), threads, progress,
        [&files](std::size_t i) -> const std::string& { return files[i].path; },
        [&](std::size_t i) { return skip && skip(files[i]); },
        [&](std::size_t i, std::string hash) { work(files[i], std::move(hash)); },
        [&](std::size_t i) { return progress.fileDone(files[i].path); });
}

bool recalculateRows(ToolRows& rows, const RowIndexes& selected, PassProgress& progress, unsigned threads) {
    return hashInOrder(
        selected.size(), threads, progress,
        [&](std::size_t i) -> const std::string& { return rows[selected[i]].Path; },
        [](std::size_t) { return false; },
        [&](std::size_t i, std::string hash) { rows[selected[i]].Hash = std::move(hash); },
        [&](std::size_t) { return progress.fileDone({}); });
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

#include "tools/dvk/PatchPlan.h"

#include <cstdio>
#include <map>
#include <set>

#include "engine/Crypto.h"
#include "package/WindowsFileKey.h"
#include "tools/dvk/PackPlan.h"
#include "tools/dvk/SourceFile.h"

namespace {

using TreeIndex = std::map<std::string, const ReleaseFile*>;

TreeIndex IndexByKey(const ReleaseTree& tree) {
    TreeIndex index;
    for (const ReleaseFile& file : tree) index.emplace(WindowsFileKey(file.targetName), &file);
    return index;
}

bool SameBytes(const ReleaseFile& a, const ReleaseFile& b) { return a.size == b.size && a.hash == b.hash; }

}  // namespace

std::vector<PlannedEntry> PlanPatchPackage(const std::vector<ReleaseTree>& olds, const ReleaseTree& newTree,
                                           const PatchPlanOptions& options) {
    std::vector<TreeIndex> oldIndexes;
    for (const ReleaseTree& tree : olds) oldIndexes.push_back(IndexByKey(tree));
    const auto patchable = [&](std::uint64_t size) { return size <= options.maxPatchFileBytes; };

    std::vector<PlannedEntry> plan;
    for (std::size_t n = 0; n < newTree.size(); ++n) {
        const ReleaseFile& file = newTree[n];
        const std::string key = WindowsFileKey(file.targetName);
        PlannedEntry entry;
        entry.targetName = file.targetName;
        entry.newIndex = n;
        bool identicalEverywhere = !olds.empty();
        bool someMachineWithoutBase = false;
        for (std::size_t o = 0; o < olds.size(); ++o) {
            const auto found = oldIndexes[o].find(key);
            if (found == oldIndexes[o].end()) {
                identicalEverywhere = false;
                someMachineWithoutBase = true;
                continue;
            }
            const ReleaseFile& old = *found->second;
            if (!SameBytes(old, file)) identicalEverywhere = false;
            if (!patchable(old.size) || !patchable(file.size)) {
                someMachineWithoutBase = true;
                continue;
            }
            bool known = false;
            for (const PlannedBase& base : entry.bases) known = known || (base.size == old.size && base.hash == old.hash);
            if (!known) entry.bases.push_back(PlannedBase{o, old.size, old.hash});
        }
        if (identicalEverywhere) continue;
        entry.kind = entry.bases.empty() ? PlannedKind::kWhole : PlannedKind::kPatched;
        entry.wholeCopy = entry.kind == PlannedKind::kPatched && (options.wholeCopies || someMachineWithoutBase);
        plan.push_back(std::move(entry));
    }

    if (options.removeObsolete) {
        const TreeIndex newIndex = IndexByKey(newTree);
        std::set<std::string> removed;
        for (const ReleaseTree& tree : olds) {
            for (const ReleaseFile& file : tree) {
                const std::string key = WindowsFileKey(file.targetName);
                if (newIndex.count(key) != 0 || !removed.insert(key).second) continue;
                PlannedEntry entry;
                entry.kind = PlannedKind::kDelete;
                entry.targetName = file.targetName;
                plan.push_back(std::move(entry));
            }
        }
    }
    return plan;
}

bool ListReleaseTree(const std::string& dirUtf8, bool followLinks, ReleaseTree& tree, std::string& error) {
    PackPlan plan(followLinks);
    return plan.AddDirectory(dirUtf8, error) && HashReleaseFiles(plan, tree, error);
}

bool HashReleaseFiles(const PackPlan& plan, ReleaseTree& tree, std::string& error) {
    ReleaseTree listed;
    std::vector<char> buffer(std::size_t{1} << 20);
    for (const PackItem& item : plan.Items()) {
        // Not through a link that was none when the folder was listed.
        UniqueStdioFile in = OpenSourceFile(item.source, item.linked);
        Sha256 hash;
        std::uint64_t size = 0;
        for (std::size_t got = 1; in && got != 0;) {
            got = std::fread(buffer.data(), 1, buffer.size(), in.get());
            hash.Update(buffer.data(), got);
            size += got;
        }
        const std::optional<Sha256Digest> digest = hash.Finish();
        if (!in || std::ferror(in.get()) != 0 || !digest) {
            error = "\"" + item.shownName + "\": cannot be read";
            return false;
        }
        listed.push_back(ReleaseFile{item.targetName, size, *digest, item.source, item.linked});
    }
    tree = std::move(listed);
    return true;
}

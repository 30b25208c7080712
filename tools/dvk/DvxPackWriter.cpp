#include "tools/dvk/DvxPackWriter.h"

#include <vector>

#include "package/DvxWriter.h"
#include "tools/dvk/ProgressBar.h"

bool WriteDvxPackage(std::ostream& out, const std::string& title, const std::string& key, const PackPlan& plan,
                     DvxPackSummary& summary, std::string& error) {
    std::vector<DvxWriterEntry> headers;
    for (const PackItem& item : plan.Items()) {
        headers.push_back({item.remove ? EntryKind::kDelete : EntryKind::kZstd, item.flags, item.targetName});
    }
    DvxWriter writer(out);
    if (!writer.Begin(title, key, headers)) {
        error = out ? "a title, key or name is longer than 65535 bytes" : kPackageWriteFailed;
        return false;
    }
    ProgressBar progress("packing", plan.TotalBytes());
    DvxEntryPacker packer(writer, progress, summary);
    for (const PackItem& item : plan.Items()) {
        if (item.remove) {
            ++summary.deletes;
            continue;
        }
        if (!packer.PackFile(item, error)) return false;
    }
    if (!writer.Finish()) {
        error = kPackageWriteFailed;
        return false;
    }
    summary.dataBytes = writer.DataBytes();
    return true;
}

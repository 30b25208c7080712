#include "engine/UpdateJournal.h"

#include <cstdint>

namespace {

const char kMagic[] = "DVKJRNL1";
constexpr std::size_t kMagicSize = 8;

std::uint64_t Hash(const char* bytes, std::size_t size) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    return hash;
}

void PutNumber(std::string& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutName(std::string& out, const std::string& name) {
    PutNumber(out, name.size(), 4);
    out += name;
}

std::string Record(const std::string& payload) {
    std::string record;
    PutNumber(record, payload.size(), 4);
    record += payload;
    PutNumber(record, Hash(payload.data(), payload.size()), 8);
    return record;
}

// Reads fields from a payload; once anything is missing every read fails.
class Fields {
public:
    Fields(const std::string& bytes, std::size_t begin, std::size_t end) : bytes_(bytes), at_(begin), end_(end) {}

    bool Number(std::uint64_t& value, int size) {
        if (!ok_ || end_ - at_ < static_cast<std::size_t>(size)) return ok_ = false;
        value = 0;
        for (int i = 0; i < size; ++i) value |= std::uint64_t{static_cast<unsigned char>(bytes_[at_ + i])} << (8 * i);
        at_ += static_cast<std::size_t>(size);
        return true;
    }
    bool Name(std::string& name) {
        std::uint64_t size = 0;
        if (!Number(size, 4) || end_ - at_ < size) return ok_ = false;
        name.assign(bytes_, at_, static_cast<std::size_t>(size));
        at_ += static_cast<std::size_t>(size);
        return true;
    }
    bool AtEnd() const { return ok_ && at_ == end_; }

private:
    const std::string& bytes_;
    std::size_t at_;
    std::size_t end_;
    bool ok_ = true;
};

// Applies one whole record to the state; false when it makes no sense there.
bool ApplyRecord(Fields& fields, JournalState& state) {
    std::uint64_t type = 0;
    if (!fields.Number(type, 1)) return false;
    if (!state.begun) {
        std::uint64_t count = 0;
        if (type != 'B' || !fields.Name(state.root) || !fields.Number(count, 4)) return false;
        for (std::uint64_t i = 0; i < count; ++i) {
            JournalEntry entry;
            if (!fields.Name(entry.target) || !fields.Name(entry.staged) || !fields.Name(entry.backup)) return false;
            state.entries.push_back(std::move(entry));
        }
        state.replace.assign(state.entries.size(), 0);
        state.undone.assign(state.entries.size(), false);
        return state.begun = fields.AtEnd();
    }
    std::uint64_t index = 0;
    switch (type) {
        case 'K': {
            // Only where Begin writes it: right after 'B'.
            std::uint64_t count = 0;
            if (state.kindsRead || state.replacing || state.undoing || !fields.Number(count, 4) ||
                count != state.entries.size()) {
                return false;
            }
            for (JournalEntry& entry : state.entries) {
                std::uint64_t deletes = 0;
                if (!fields.Number(deletes, 1) || deletes > 1) return false;
                entry.deletes = deletes == 1;
            }
            state.kindsRead = true;
            break;
        }
        case 'R': {
            std::uint64_t count = 0;
            if (!fields.Number(count, 4) || count != state.entries.size()) return false;
            for (unsigned char& replace : state.replace) {
                std::uint64_t existed = 0;
                if (!fields.Number(existed, 1)) return false;
                replace = existed != 0 ? 2 : 1;
            }
            state.replacing = true;
            break;
        }
        case 'C':
            state.committed = true;
            break;
        case 'U':
            state.undoing = true;
            break;
        case 'D':
            if (!fields.Number(index, 4) || index >= state.entries.size()) return false;
            state.undone[index] = true;
            break;
        default:
            return false;
    }
    return fields.AtEnd();
}

}  // namespace

JournalState ParseJournal(const std::string& bytes) {
    JournalState state;
    if (bytes.compare(0, kMagicSize, kMagic, kMagicSize) != 0) return state;
    std::size_t at = kMagicSize;
    state.wholeSize = at;
    while (bytes.size() - at >= 4) {
        Fields length(bytes, at, at + 4);
        std::uint64_t size = 0;
        length.Number(size, 4);
        if (bytes.size() - at - 4 < size + 8) break;  // cut short
        std::size_t payload = at + 4;
        std::size_t end = payload + static_cast<std::size_t>(size);
        Fields hash(bytes, end, end + 8);
        std::uint64_t stored = 0;
        hash.Number(stored, 8);
        if (stored != Hash(bytes.data() + payload, static_cast<std::size_t>(size))) break;
        Fields fields(bytes, payload, end);
        if (!ApplyRecord(fields, state)) break;
        at = end + 8;
        state.wholeSize = at;
    }
    return state;
}

std::unique_ptr<UpdateJournal> UpdateJournal::Begin(JournalFolder& folder, const std::string& root,
                                                    const std::vector<JournalEntry>& entries) {
    std::string name;
    std::unique_ptr<JournalFile> file = folder.Create(name);
    if (!file) return nullptr;
    std::unique_ptr<UpdateJournal> journal(new UpdateJournal(folder, name, std::move(file)));
    std::string payload(1, 'B');
    PutName(payload, root);
    PutNumber(payload, entries.size(), 4);
    for (const JournalEntry& entry : entries) {
        PutName(payload, entry.target);
        PutName(payload, entry.staged);
        PutName(payload, entry.backup);
    }
    std::string kinds(1, 'K');
    PutNumber(kinds, entries.size(), 4);
    bool anyDelete = false;
    for (const JournalEntry& entry : entries) {
        PutNumber(kinds, entry.deletes ? 1 : 0, 1);
        anyDelete = anyDelete || entry.deletes;
    }
    // The magic and the first records go in one write: a journal cut inside
    // them announces nothing.
    std::string first = std::string(kMagic, kMagicSize) + Record(payload);
    if (anyDelete) first += Record(kinds);
    if (!journal->file_->Append(first)) {
        journal->Remove();
        return nullptr;
    }
    return journal;
}

std::unique_ptr<UpdateJournal> UpdateJournal::Reopen(JournalFolder& folder, const std::string& name,
                                                     const JournalState& state) {
    std::unique_ptr<JournalFile> file = folder.OpenForAppend(name, state.wholeSize);
    if (!file) return nullptr;
    return std::unique_ptr<UpdateJournal>(new UpdateJournal(folder, name, std::move(file)));
}

bool UpdateJournal::Write(const std::string& payload) { return file_ && file_->Append(Record(payload)); }

bool UpdateJournal::Replacing(const std::vector<bool>& targetExisted) {
    std::string payload(1, 'R');
    PutNumber(payload, targetExisted.size(), 4);
    for (bool existed : targetExisted) PutNumber(payload, existed ? 1 : 0, 1);
    return Write(payload);
}

bool UpdateJournal::Committed() { return Write("C"); }

bool UpdateJournal::Undoing() { return Write("U"); }

bool UpdateJournal::Undone(std::size_t index) {
    std::string payload(1, 'D');
    PutNumber(payload, index, 4);
    return Write(payload);
}

bool UpdateJournal::Remove() {
    file_.reset();  // Windows deletes no file that is open
    return folder_.Remove(name_);
}

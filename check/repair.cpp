// SPDX-License-Identifier: MIT
#include "check/repair.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr long long SIZE = BLOCK_SIZE;

// File names as the command line gives them. On Windows they are UTF-8,
// the code page the manifest sets, and a narrow path would be read in the C
// library's code page instead; elsewhere they are bytes, UTF-8 or not.
fs::path path_of(const char* name)
{
#ifdef QUORVIL_UTF8_NAMES
    return {std::u8string_view(reinterpret_cast<const char8_t*>(name))};
#else
    return {name};
#endif
}

std::string name_of(const fs::path& path)
{
#ifdef QUORVIL_UTF8_NAMES
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
#else
    return path.string();
#endif
}

bool same_file(const char* a, const char* b)
{
    // Standard input by the name the system gives it, where it has one.
    const fs::path other = std::strcmp(b, "-") == 0 ? fs::path("/dev/stdin") : path_of(b);
    std::error_code error;
    return fs::equivalent(path_of(a), other, error) && !error;
}

// FILE's own block at the offset of OUTPUT's block being written, where
// FILE still holds it whole and it has the report's values: a finding that
// moved the alignment wrongly must not spoil a block that FILE had right
// where it stands.
bool own_block_matches(Repair& r, const FileView& file)
{
    const long long block = r.block - r.kept;
    const std::size_t slot = static_cast<std::size_t>(block) % VERDICTS;
    const long long at = SIZE * block;
    if (r.pending_size != BLOCK_SIZE || r.of[slot] != block || at < file.base || at + SIZE > file.end) {
        return false;
    }
    const Block own = file_block(file, at);
    if (sum_block(own) != r.stored[slot]) {
        return false;
    }
    r.pending = own;
    return true;
}

// The values of the block of OUTPUT being written, zero filled.
BlockSums pending_sums(const Repair& r)
{
    Block block = r.pending;
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(r.pending_size), block.end(), std::uint8_t{0});
    return sum_block(block);
}

// The block of OUTPUT being written is done: checked, where an edit touched
// it, or the check's verdict on the same bytes.
void complete(Repair& r, const FileView& file)
{
    bool same = r.matched[static_cast<std::size_t>(r.block - r.kept) % VERDICTS];
    if (r.touched) {
        same = r.have_sums && pending_sums(r) == r.sums;
    }
    same = !r.foreign && (same || own_block_matches(r, file));
    r.foreign = false;
    r.failed += same ? 0 : 1;
    std::fwrite(r.pending.data(), 1, r.pending_size, r.out);
    ++r.block;
    r.pending_size = 0;
    r.touched = false;
    r.have_sums = false;
}

void put(Repair& r, const FileView& file, std::uint8_t byte)
{
    r.pending[r.pending_size++] = byte;
    if (r.pending_size == BLOCK_SIZE) {
        complete(r, file);
    }
}

// The block of OUTPUT being written differs from FILE's: it is checked
// against the report's values, which the check holds now.
void touch(Repair& r, const StoredBlocks& stored, long long first)
{
    if (r.touched) {
        return;
    }
    r.touched = true;
    const long long i = r.block - r.kept - first;
    r.have_sums = i >= 0 && i < static_cast<long long>(stored.count);
    if (r.have_sums) {
        r.sums = stored.sums[static_cast<std::size_t>(i)];
    }
}

} // namespace

Opened open_repair(Repair& repair, const char* output, const char* report, const char* file)
{
    if (same_file(output, report) || same_file(output, file)) {
        return Opened::OVER_INPUT;
    }
    repair.output = path_of(output);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(repair.output, error);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status)) {
            return Opened::CANNOT;
        }
        repair.replaces = true;
        repair.mode = status.permissions();
    }
    // A name of its own in OUTPUT's directory, so that the rename stays on
    // one file system; "x" refuses a file that exists where the C library
    // knows it, the check before where it does not.
    const fs::path directory = repair.output.has_parent_path() ? repair.output.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100 && repair.out == nullptr; ++attempt) {
        repair.temporary = directory / (".quorvil-check-" + std::to_string(attempt) + ".tmp");
        if (!fs::exists(fs::symlink_status(repair.temporary, error))) {
            repair.out = std::fopen(name_of(repair.temporary).c_str(), "wbx");
        }
    }
    if (repair.out == nullptr) {
        return Opened::CANNOT;
    }
    std::setvbuf(repair.out, repair.buffer.data(), _IOFBF, repair.buffer.size());
    return Opened::OK;
}

bool commit_repair(Repair& repair)
{
    const bool written = std::fflush(repair.out) == 0 && std::ferror(repair.out) == 0;
    const bool closed = std::fclose(repair.out) == 0;
    repair.out = nullptr;
    std::error_code error;
    if (written && closed && repair.replaces) {
        fs::permissions(repair.temporary, repair.mode, error);
    }
    if (written && closed && !error) {
        fs::rename(repair.temporary, repair.output, error);
        if (!error) {
            return true;
        }
    }
    fs::remove(repair.temporary, error);
    return false;
}

void abandon_repair(Repair& repair)
{
    if (repair.out != nullptr) {
        std::fclose(repair.out);
        repair.out = nullptr;
        std::error_code error;
        fs::remove(repair.temporary, error);
    }
}

void repair_verdict(Repair& repair, long long block, bool matched, const BlockSums* stored)
{
    const std::size_t slot = static_cast<std::size_t>(block) % VERDICTS;
    repair.matched[slot] = matched;
    repair.of[slot] = stored != nullptr ? block : -1;
    if (stored != nullptr) {
        repair.stored[slot] = *stored;
    }
}

long long repair_needs_from(const Repair& repair, long long floor)
{
    // FILE's own block is at the report's block's offset, which a run kept
    // as FILE has it puts a block or more from OUTPUT's.
    return std::min(repair.copied, std::max(SIZE * (repair.block - repair.kept), floor));
}

void repair_copy(Repair& repair, const FileView& file, long long to)
{
    if (repair.stopped) {
        return;
    }
    to = std::min(to, file.size);
    while (repair.copied < to) {
        const auto n = static_cast<std::size_t>(
            std::min(to - repair.copied, static_cast<long long>(BLOCK_SIZE - repair.pending_size)));
        if (repair.copied >= file.base && repair.copied + static_cast<long long>(n) <= file.end) {
            std::memcpy(repair.pending.data() + repair.pending_size, file.data + (repair.copied - file.base),
                        n);
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                repair.pending[repair.pending_size + i] =
                    file_byte(file, repair.copied + static_cast<long long>(i));
            }
        }
        repair.pending_size += n;
        repair.copied += static_cast<long long>(n);
        if (repair.pending_size == BLOCK_SIZE) {
            complete(repair, file);
        }
    }
}

namespace {

void repair_set(Repair& repair, const FileView& file, long long at, std::uint8_t value,
                const StoredBlocks& stored, long long first)
{
    repair_copy(repair, file, at);
    touch(repair, stored, first);
    put(repair, file, value);
    repair.copied = at + 1;
}

void repair_skip(Repair& repair, const FileView& file, long long at, long long count,
                 const StoredBlocks& stored, long long first)
{
    repair_copy(repair, file, at);
    touch(repair, stored, first);
    repair.copied = at + count;
}

void repair_insert(Repair& repair, const FileView& file, long long at, const std::uint8_t* values,
                   long long count, const StoredBlocks& stored, long long first)
{
    repair_copy(repair, file, at);
    for (long long k = 0; k < count; ++k) {
        touch(repair, stored, first);
        put(repair, file, values != nullptr ? values[k] : std::uint8_t{0});
    }
    // FILE's bytes go on in the block where the run ends.
    if (repair.pending_size > 0) {
        touch(repair, stored, first);
    }
}

void repair_stop(Repair& repair, const FileView& file, long long at, bool changes, const StoredBlocks& stored,
                 long long first)
{
    repair_copy(repair, file, at);
    if (changes) {
        touch(repair, stored, first);
    }
    repair.stopped = true;
}

// The complete rows of the block of OUTPUT being written have the
// report's row sums, where the report's values of it are held.
// The report's values of the block of OUTPUT being written, where held.
const BlockSums* held_sums(const Repair& r)
{
    const long long block = r.block - r.kept;
    const std::size_t slot = static_cast<std::size_t>(block) % VERDICTS;
    return r.touched && r.have_sums ? &r.sums : r.of[slot] == block ? &r.stored[slot] : nullptr;
}

bool rows_match(const Repair& r)
{
    const BlockSums* stored = held_sums(r);
    if (r.pending_size == 0) {
        return true;
    }
    if (stored == nullptr) {
        return false;
    }
    return complete_rows_differing(pending_sums(r), *stored, r.pending_size) == 0;
}

bool stops_short_of_last(const Repair& r)
{
    const BlockSums* stored = held_sums(r);
    return r.pending_size > 0 && stored != nullptr && stops_short(pending_sums(r), *stored, r.pending_size);
}

} // namespace

void repair_undo(Repair& repair, const FileView& file, const Explanation& e, const StoredBlocks& stored,
                 long long first)
{
    switch (e.kind) {
    case Kind::DIFFERS:
    case Kind::REPORT_VALUE:
        break;
    case Kind::BYTES:
        for (std::size_t k = 0; k < e.changed; ++k) {
            repair_set(repair, file, e.changes[k].at, e.changes[k].was, stored, first);
        }
        break;
    case Kind::EXTRA:
    case Kind::EXTRA_RANGE:
        repair_skip(repair, file, e.at, e.length, stored, first);
        break;
    case Kind::MISSING:
    case Kind::MISSING_RANGE:
        repair_insert(repair, file, e.at, e.known ? e.values.data() : nullptr, e.length, stored, first);
        repair.zeros += e.known ? 0 : e.length;
        break;
    case Kind::AFTER_DATA:
        // Not where only the zero filling of the block is cut.
        repair_stop(repair, file, e.at, e.cuts, stored, first);
        break;
    }
}

void repair_keep(Repair& repair, const FileView& file, const Explanation& e, const StoredBlocks& stored,
                 long long first)
{
    repair_copy(repair, file, e.slip_at);
    if (repair.stopped || repair.pending_size != 0) {
        // OUTPUT is not at a block's start here, as the report's blocks are
        // counted: the run is undone, so that its blocks are counted right.
        repair_undo(repair, file, e, stored, first);
        return;
    }
    ++repair.kept_slips;
    if (e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE) {
        repair.foreign = true;
        repair_copy(repair, file, e.slip_at + SIZE);
        ++repair.kept;
    } else {
        --repair.kept;
        ++repair.failed;
    }
}

void repair_end(Repair& repair, const FileView& file, long long report_blocks)
{
    repair_copy(repair, file, file.size);
    repair.size = SIZE * repair.block + static_cast<long long>(repair.pending_size);
    // The block OUTPUT ends in is judged on its complete rows, as FILE's is,
    // the report's last block too where OUTPUT stops short of its data.
    const bool rows = rows_match(repair);
    const bool early = repair.size - SIZE * repair.kept <= SIZE * (report_blocks - 1) ||
                       (repair.block - repair.kept == report_blocks - 1 && stops_short_of_last(repair));
    const long long before = repair.failed;
    repair.so_far = early && before == 0 && rows;
    if (repair.pending_size > 0) {
        complete(repair, file);
    }
    repair.early = early && !repair.so_far;
    repair.reached = repair.block - repair.kept;
    repair.reached_failed = before + (rows ? 0 : 1);
    repair.failed += std::max(0LL, report_blocks - (repair.block - repair.kept));
}

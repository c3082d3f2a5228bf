// SPDX-License-Identifier: MIT
// quorvil FILE: the report of every 128-byte block of FILE, in file order.

#include "checksums/block.h"
#include "checksums/block_report.h"

#include <cstdio>

namespace {

// Larger stream buffers than the defaults. Each 128-byte read request and
// each block's one fwrite is served from them, so the system sees one read
// or write per 64 KiB instead of per block. Static, so memory stays the same
// whatever the file's size.
constexpr std::size_t STREAM_BUFFER_SIZE = 1 << 16;
char input_buffer[STREAM_BUFFER_SIZE];
char output_buffer[STREAM_BUFFER_SIZE];

void put_message(const char* text, const char* name)
{
    // The name is written as it came, never used as a format.
    std::fputs(text, stdout);
    std::fputs(name, stdout);
    std::fputc('\n', stdout);
}

// Every exit goes through here: output that never reached its destination
// must not end in a status that claims it did. Closing, not just flushing,
// because some file systems (NFS, quotas) report a failed write only at
// close. Standard output is what failed, so standard error is the one place
// left to say so.
int finish(int status)
{
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (std::fclose(stdout) != 0 || !flushed) {
        std::fputs("cannot write output\n", stderr);
        return 1;
    }
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

    if (argc <= 1) {
        std::fputs("usage: quorvil file-name\n", stdout);
        return finish(1);
    }
    const char* const name = argv[1];

    std::FILE* const file = std::fopen(name, "rb");
    if (file == nullptr) {
        put_message("cannot open ", name);
        return finish(1);
    }
    std::setvbuf(file, input_buffer, _IOFBF, sizeof input_buffer);

    int status = 0;
    Block block;
    for (;;) {
        const std::size_t n = std::fread(block.data(), 1, BLOCK_SIZE, file);
        if (n < BLOCK_SIZE && std::ferror(file) != 0) {
            // A failed read is not the end of the file: the blocks already
            // reported stand, but the report is incomplete. A partly read
            // block is not reported, since its bytes are not all known.
            put_message("cannot read ", name);
            status = 1;
            break;
        }
        if (n == 0) {
            break;
        }
        // Zero the tail of a short block, so nothing of the previous block
        // survives into this one.
        for (std::size_t i = n; i < BLOCK_SIZE; ++i) {
            block[i] = 0;
        }
        report_block(block);
        if (std::ferror(stdout) != 0) {
            break; // finish() says so; reading on would only waste time
        }
    }
    std::fclose(file);
    return finish(status);
}

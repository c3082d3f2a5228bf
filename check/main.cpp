// SPDX-License-Identifier: MIT
// quorvil-check [--repair OUTPUT] REPORT FILE: checks FILE against a report
// that quorvil wrote, or one typed in from a printed listing, and says where
// FILE no longer matches it; with --repair, writes FILE put right as far as
// the report proves how.

#include "check/buffers.h"
#include "check/follow.h"
#include "check/hints.h"
#include "check/repair.h"

#include <cstdio>
#include <cstring>

namespace {

// Exit statuses, as cmp and diff have them.
constexpr int MATCHES = 0;
constexpr int DIFFERS = 1;
constexpr int TROUBLE = 2;

constexpr const char* USAGE = "usage: quorvil-check [--hex] [--repair output] report-file file\n";
constexpr const char* HELP =
    "Checks FILE against REPORT, the report that quorvil wrote of it (or one typed in\n"
    "from a printed listing), block by block, and says what differs: a changed byte\n"
    "and its old value, extra or missing bytes, a slip in the report.\n"
    "--hex reads FILE as a typed or scanned listing, hex text, and names its lines\n"
    "and columns.\n"
    "--repair OUTPUT also writes FILE put right where the report proves how.\n"
    "'-' as REPORT or FILE reads standard input.\n"
    "Exit status: 0 the file (or OUTPUT) matches, 1 it does not, 2 trouble.\n"
    "Block, row and column count from 0; a listing's lines and columns from 1.\n"
    "\n"
    "Example: check a listing typed from page.txt's sums, and put it right:\n"
    "  quorvil-check --hex --repair program.bin page.txt typed.hex\n";

// Static, like all the check's state, so that memory is the same whatever
// the sizes.
char output_buffer[BUFFER_SIZE];
Repair repair;

// Every exit goes through here, so that output that never arrived cannot
// end in a status that claims it did. Standard output is what failed, so
// standard error is where it is said.
int finish(int status)
{
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (std::fclose(stdout) != 0 || !flushed) {
        std::fputs("cannot write output\n", stderr);
        return TROUBLE;
    }
    return status;
}

int trouble(const char* text, const char* name)
{
    std::fprintf(stderr, "%s%s\n", text, name);
    return finish(TROUBLE);
}

int usage()
{
    std::fputs(USAGE, stderr);
    return finish(TROUBLE);
}

// `-` is standard input; FILE's bytes are read as they are, where the C
// library can switch the stream to binary (Windows' cannot).
std::FILE* open_input(const char* name, bool binary)
{
    if (std::strcmp(name, "-") != 0) {
        return std::fopen(name, "rb");
    }
    return binary ? std::freopen(nullptr, "rb", stdin) : stdin;
}

// A REPORT that is no report but a listing: the names were given the
// wrong way round, or the report left out.
void hint_names(const char* report_name, const char* file_name)
{
    if (file_looks_like(report_name) != Looks::LISTING) {
        return;
    }
    if (file_looks_like(file_name) == Looks::REPORT) {
        std::fprintf(stderr, "%s looks like a listing and %s like a report: the report comes first ",
                     report_name, file_name);
    } else {
        std::fprintf(stderr, "%s looks like a listing: the report comes first ", report_name);
    }
    std::fputs("(quorvil-check [--hex] REPORT FILE)\n", stderr);
}

struct Arguments {
    const char* output = nullptr;
    bool hex = false;
    const char* names[2] = {};
    int count = 0;
};

constexpr int GO_ON = -1;

// Options come before the names; `--` ends them. GO_ON, or the status to
// end with.
int parse(int argc, char* argv[], Arguments& a)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* const arg = argv[i];
        if (options && a.count == 0 && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                options = false;
            } else if (std::strcmp(arg, "--help") == 0) {
                std::fputs(USAGE, stdout);
                std::fputs(HELP, stdout);
                return finish(MATCHES);
            } else if (std::strcmp(arg, "--version") == 0) {
                std::fputs("quorvil-check " QUORVIL_VERSION "\n", stdout);
                return finish(MATCHES);
            } else if (std::strcmp(arg, "--hex") == 0) {
                a.hex = true;
            } else if (std::strcmp(arg, "--repair") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
                a.output = argv[++i];
            } else if (std::strncmp(arg, "--repair=", 9) == 0 && arg[9] != '\0') {
                a.output = arg + 9;
            } else {
                return usage();
            }
            continue;
        }
        if (a.count == 2) {
            return usage();
        }
        a.names[a.count++] = arg;
    }
    if (a.count != 2 || (std::strcmp(a.names[0], "-") == 0 && std::strcmp(a.names[1], "-") == 0)) {
        return usage();
    }
    return GO_ON;
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    Arguments a;
    const int status = parse(argc, argv, a);
    if (status != GO_ON) {
        return status;
    }
    const char* const report_name = a.names[0];
    const char* const file_name = a.names[1];

    if (a.output != nullptr) {
        const Opened opened = open_repair(repair, a.output, report_name, file_name);
        if (opened == Opened::OVER_INPUT) {
            return trouble("cannot write the repair over ", a.output);
        }
        if (opened == Opened::CANNOT) {
            return trouble("cannot write ", a.output);
        }
    }
    std::FILE* const report = open_input(report_name, false);
    if (report == nullptr) {
        abandon_repair(repair);
        return trouble("cannot open ", report_name);
    }
    std::FILE* const file = open_input(file_name, !a.hex);
    if (file == nullptr) {
        abandon_repair(repair);
        return trouble(std::strcmp(file_name, "-") == 0 ? "cannot read " : "cannot open ", file_name);
    }

    const Checked checked =
        check(report, file, file_name, a.hex, stdout, a.output != nullptr ? &repair : nullptr);
    const Outcome outcome = checked.outcome;
    std::fclose(file);
    std::fclose(report);
    if (outcome == Outcome::TROUBLE) {
        abandon_repair(repair);
        switch (checked.trouble) {
        case Trouble::READ_REPORT:
            return trouble("cannot read ", report_name);
        case Trouble::READ_FILE:
            return trouble("cannot read ", file_name);
        case Trouble::NOT_A_REPORT:
            std::fprintf(stderr, "%s: line %lld, column %lld is not part of a report\n", report_name,
                         checked.bad_line, checked.bad_column);
            hint_names(report_name, file_name);
            break;
        case Trouble::NONE:
        case Trouble::WRITE: // standard output: finish says so
            break;
        }
        return finish(TROUBLE);
    }
    if (!a.hex && outcome == Outcome::DIFFERS && checked.matched == 0 &&
        file_looks_like(file_name) == Looks::LISTING) {
        std::fprintf(stderr, "%s is hex text: add --hex to read it as a listing\n", file_name);
    }
    if (a.output == nullptr) {
        return finish(outcome == Outcome::MATCHES ? MATCHES : DIFFERS);
    }
    // The last line, and the status, are about OUTPUT, once it is whole.
    if (std::ferror(stdout) != 0 || !commit_repair(repair)) {
        if (std::ferror(stdout) == 0) {
            return trouble("cannot write ", a.output);
        }
        abandon_repair(repair);
        return finish(TROUBLE);
    }
    Teller teller;
    start_telling(teller, stdout);
    if (repair.so_far) {
        tell_so_far(teller, a.output, repair.size, checked.report_blocks);
        return finish(DIFFERS);
    }
    if (repair.early) {
        tell_failed_so_far(teller, a.output, repair.reached_failed, repair.reached, checked.report_blocks);
        return finish(DIFFERS);
    }
    tell_verdict(teller, a.output, repair.failed, checked.report_blocks,
                 {repair.zeros, repair.kept_slips > 0});
    return finish(repair.failed == 0 ? MATCHES : DIFFERS);
}

// What every fuzz target checks after its run: a clean end and a sound
// report, or a report on standard error and an abort, which libFuzzer records
// as a crash.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "whole_run.h"

namespace fuzzcheck {

// What the fuzzed machine allows a run beyond a clean end: what the armed
// faults may leave held, whether any fault was armed (it may cut the run
// short, or end the program with a message), and whether a fault hit a call
// the report goes through (the list box's own, whose entries may then differ
// from the file, or the message box that says the file could not be made).
struct Leeway {
    wholerun::Allowance allowance;
    bool faultsArmed = false;
    bool reportCallFaulted = false;
};

namespace detail {

constexpr std::size_t kListLines = 200;
const char* const kClosingLines[] = {"\r\nTest finished.\r\n",
                                     "Please send \"ComList.txt\" to Tobrin.\r\n", "Thanks.\r\n"};

inline bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, std::string(start).size(), start) == 0;
}

inline bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The line cut short, its bytes outside printable ASCII in hex: for messages.
inline std::string Shown(const std::string& line) {
    std::string shown = "\"";
    for (unsigned char c : line.substr(0, 80)) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
        shown += escaped;
    }
    return shown + "\"";
}

// The slot of an "index N = ..." line of the report, or -1.
inline int SlotOf(const std::string& line) {
    std::size_t end = 6;
    while (end < line.size() && end < 8 && line[end] >= '0' && line[end] <= '9') {
        ++end;
    }
    if (!StartsWith(line, "index ") || end == 6 || line.compare(end, 3, " = ") != 0) {
        return -1;
    }
    const int slot = std::atoi(line.c_str() + 6);
    return slot < 80 ? slot : -1;
}

inline bool IsSearchLine(const std::string& line) {
    for (const char* kind : {"General", "Bluetooth", "IR", "USB"}) {
        if (EndsWith(line, std::string(", Type=") + kind + "\r\n")) {
            return SlotOf(line) >= 0;
        }
    }
    return false;
}

inline void NoSlotTwice(const std::vector<int>& slots, const char* section, std::string* problems) {
    std::vector<int> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        *problems += std::string("a slot appears twice in the ") + section + " section\n";
    }
}

// The lines between the search time and the open test name each present slot
// once, in slot order; the open test names the same slots in the same order,
// each perhaps followed by its description.
inline void CheckSections(const std::vector<std::string>& lines, std::string* problems) {
    const auto search = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return StartsWith(line, "Search COM ports, Time=");
    });
    const auto open = std::find(lines.begin(), lines.end(), "\r\nOpen test...\r\n");
    const auto closing = lines.end() - 3;
    if (search == lines.end() || open == lines.end() || open < search) {
        *problems += "no search time followed by an open test\n";
        return;
    }
    std::vector<int> searched;
    for (auto line = search + 1; line != open; ++line) {
        if (!IsSearchLine(*line)) {
            *problems += "not a port in the search section: " + Shown(*line) + "\n";
        }
        searched.push_back(SlotOf(*line));
    }
    std::vector<int> probed;
    for (auto line = open + 1; line < closing; ++line) {
        if (StartsWith(*line, "     Name = ") && line != open + 1 && SlotOf(*(line - 1)) >= 0) {
            continue;
        }
        if (SlotOf(*line) < 0 || line->find(", Res=") == std::string::npos) {
            *problems += "not an open attempt in the open test: " + Shown(*line) + "\n";
        }
        probed.push_back(SlotOf(*line));
    }
    NoSlotTwice(searched, "search", problems);
    NoSlotTwice(probed, "open test", problems);
    if (!std::is_sorted(searched.begin(), searched.end())) {
        *problems += "the search section is out of slot order\n";
    }
    if (probed != searched) {
        *problems += "the open test names other slots than the search section\n";
    }
}

}  // namespace detail

// What is wrong with the report of the run's last test: the result file holds
// every line added to the list box, in order, and the list box the last 200 of
// them; every line ends in "\r\n"; the sections agree; the closing lines come
// last. Nothing to say when no test ran or its file could not be made, nor
// about a run cut short, which only a fault or a full disk may do.
inline std::string ReportProblems(const wholerun::Outcome& outcome, const Leeway& leeway) {
    using namespace detail;
    const std::vector<std::string>& lines = outcome.listAdded;
    if (!outcome.tested || outcome.resultFileRefused) {
        return "";
    }
    if (!lines.empty() && lines.back() == "Test interrupted.\r\n") {
        return leeway.faultsArmed || outcome.diskLimited ? "" : "a run was cut short\n";
    }
    if (leeway.reportCallFaulted) {
        return "";
    }
    std::string problems;
    std::string joined;
    for (const std::string& line : lines) {
        joined += line;
        if (!EndsWith(line, "\r\n")) {
            problems += "a line does not end in \\r\\n: " + Shown(line) + "\n";
        }
    }
    if (joined != outcome.resultFile) {
        problems += "the result file is not the lines of the list box\n";
    }
    const std::size_t kept = std::min(lines.size(), kListLines);
    if (outcome.listShown != std::vector<std::string>(lines.end() - kept, lines.end())) {
        problems += "the list box does not show the last " + std::to_string(kListLines) +
                    " lines of the run\n";
    }
    if (lines.size() < 3 || !std::equal(lines.end() - 3, lines.end(), std::begin(kClosingLines))) {
        return problems + "the closing lines are not the last three\n";
    }
    CheckSections(lines, &problems);
    return problems;
}

// A clean end, a sound report, and an exit code of 0 unless a fault was armed.
inline void RequireSoundRun(const wholerun::Outcome& outcome, const Leeway& leeway = Leeway()) {
    std::string problems = wholerun::Problems(outcome, leeway.allowance);
    problems += ReportProblems(outcome, leeway);
    if (outcome.exitCode != 0 && !leeway.faultsArmed) {
        problems += "the program ended with " + std::to_string(outcome.exitCode) + "\n";
    }
    if (!problems.empty()) {
        std::fprintf(stderr, "The run did not end cleanly:\n%s", problems.c_str());
        std::abort();
    }
}

}  // namespace fuzzcheck

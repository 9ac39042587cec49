// tests/support/lnkinfo.h: shortcut files read back by lnkinfo (Debian's
// liblnk-utils), a reader that owes nothing to the code that wrote them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// What lnkinfo prints for the file at `path`, given `options` (may be
// empty). A run that fails is a test failure, with what it printed.
inline std::string run_lnkinfo(const std::string& options, const std::string& path)
{
    const std::string command = "lnkinfo " + options + " '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr)
        return "";
    std::string output;
    char chunk[4096];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, count);
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

// The value of one "<field> : <value>" line of lnkinfo's output, or
// "<absent>".
inline std::string lnkinfo_field(const std::string& output, const std::string& field)
{
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        const size_t name = line.find_first_not_of('\t');
        const size_t colon = line.find(": ");
        if (name != std::string::npos && colon != std::string::npos
            && line.compare(name, field.size(), field) == 0
            && line.find_first_not_of("\t ", name + field.size()) == colon)
            return line.substr(colon + 2);
        start = end + 1;
    }
    return "<absent>";
}

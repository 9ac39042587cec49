// tests/support/capture.h: what a step prints on the console, captured.
#pragma once

#include <string>
#include <utility>

// Runs `step` with standard output sent to a temporary file and returns
// every byte it printed through the console.
template <typename Step>
std::string capture_console(Step step);

// What the console shows of code page 932 text: the bytes themselves, or
// their form in the user's character set where the console converts.
std::string on_console(const std::string& cp932);

// Whether the system has the locale `name`, so that a test can run under it.
bool locale_is_generated(const char* name);

// Runs `step` with standard output and standard error sent to temporary
// files apart; returns what each got, in that order.
template <typename Step>
std::pair<std::string, std::string> capture_console_and_errors(Step step);

// `stream` is 1 (standard output) or 2 (standard error).
std::string begin_capture(int stream = 1);
std::string end_capture(const std::string& handle, int stream = 1);

template <typename Step>
std::string capture_console(Step step)
{
    const std::string handle = begin_capture();
    step();
    return end_capture(handle);
}

template <typename Step>
std::pair<std::string, std::string> capture_console_and_errors(Step step)
{
    const std::string errors = begin_capture(2);
    const std::string output = begin_capture(1);
    step();
    std::string printed = end_capture(output, 1);
    return {printed, end_capture(errors, 2)};
}

#include "e2e_support.h"
#include "expected_usage.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::wstring>;

// Command lines that are not an option of their argument-count group.
const std::vector<Args> NOT_AN_OPTION = {
    {},                                   // no option at all
    {L"-nope"},                           // unknown
    {L"-EUT"},                            // wrong case
    {L"-Eut"},
    {L"eut"},                             // no introducer
    {L"/eut"},                            // no other introducer either
    {L"-eu"},                             // no abbreviation
    {L"-eut", L"extra"},                  // count-2 option with an operand
    {L"-begin_driver_trace"},             // count-3 option without its operand
    {L"-blind_copy", L"one"},             // count-4 option with one operand
    {L"-blind_copy", L"a", L"b", L"c"},   // too many operands
    {L"-force_delete", L"a", L"b"},
};

TEST(ConsoleUsage, ShownByteForByteForAnythingNotAnOption)
{
    for (const Args& args : NOT_AN_OPTION) {
        SCOPED_TRACE(testing::Message() << "arguments: " << args.size());
        QV_run_result run = run_console(args);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(EXPECTED_USAGE_CONSOLE, run.out);
        EXPECT_EQ("", run.err);
        EXPECT_TRUE(run.boxes.empty());
    }
}

TEST(GuiUsage, BoxReadBackFromItsWindow)
{
    for (const Args& args : {Args{}, Args{L"-Eut"}, Args{L"-eut", L"extra"}, Args{L"-blind_copy", L"one"}}) {
        QV_run_result run = run_gui(args);
        ASSERT_TRUE(run.started);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("", run.out);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(L"VlmKdShell.exe", run.boxes[0].caption);
        EXPECT_EQ(widen_ascii(EXPECTED_USAGE_GUI), run.boxes[0].text);
    }
}

TEST(Dispatcher, RecognisedOptionsShowNoUsage)
{
    // Options whose commands report nothing when they have nothing to do: the
    // usage text must not appear for them in either build.
    for (const Args& args : {Args{L"-update_registry", L""}}) {
        QV_run_result console = run_console(args);
        EXPECT_EQ(0u, console.exit_code);
        EXPECT_EQ(std::string::npos, console.out.find("VLMKDSHELL.COM"));
        QV_run_result gui = run_gui(args);
        EXPECT_EQ(0u, gui.exit_code);
        EXPECT_TRUE(gui.boxes.empty());
    }
}

TEST(BadCommandLines, EndWithExitCodeZeroAndUsage)
{
    Args thousand(1000, L"x");
    Args huge{std::wstring(32000, L'a')};
    Args formats{L"%s%n%s%n", L"%x%p"};
    Args non_ascii{L"-\u00e9ut\u4e2d\U0001F600"};
    for (const Args& args : {thousand, huge, formats, non_ascii}) {
        QV_run_result run = run_console(args);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ(EXPECTED_USAGE_CONSOLE, run.out);
    }
    QV_run_result gui = run_gui(formats);
    EXPECT_EQ(0u, gui.exit_code);
    ASSERT_EQ(1u, gui.boxes.size());
    EXPECT_EQ(widen_ascii(EXPECTED_USAGE_GUI), gui.boxes[0].text);
}

} // namespace

#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct SplitCase
{
    const char *text;
    std::vector<std::string> words;
};

// The Windows C runtime's rules, on both systems.
const SplitCase kSplitCases[] = {
    {"  /S \t /D=C:\\a b  ", {"/S", "/D=C:\\a", "b"}},
    {"\"C:\\Program Files\\x\" y", {"C:\\Program Files\\x", "y"}},
    {"/D=\"C:\\a b\"c", {"/D=C:\\a bc"}},
    {"C:\\\\a\\b", {"C:\\\\a\\b"}},
    {"a\\\"b", {"a\"b"}},
    {"\"a\\\\\" b", {"a\\", "b"}},
    {"a\\\\\\\"b", {"a\\\"b"}},
    {"\"a\"\"b\" c", {"a\"b", "c"}},
    {"\"\" x", {"", "x"}},
    {"\"open to the end", {"open to the end"}},
    {"   ", {}},
};
} // namespace

TEST(CommandLine, SplitsLikeTheWindowsRuntime)
{
    for (const SplitCase &c : kSplitCases)
        EXPECT_EQ(kyplatform::splitCommandLine(c.text), c.words) << c.text;
}

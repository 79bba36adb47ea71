// Profile INI files: the reader's lookup rules and a writer that changes one
// entry among other sections and comments. The same cases run against the
// system's profile functions on Windows and the editor elsewhere.
#include "platform/profileini.h"
#include "platformtestsupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kyplatform::readProfileString;
using kyplatform::writeProfileString;

namespace {

class ProfileIni : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.valid());
        m_file = kytest::utf8(m_dir / "Untitled.ini");
    }

    void write(const std::string &content) { ASSERT_TRUE(kytest::writeFile(fs::u8path(m_file), content)); }
    std::string content() const { return kytest::readFile(fs::u8path(m_file)); }
    std::string read(const std::string &section, const std::string &key) const
    {
        return readProfileString(m_file, section, key, "dflt  ");
    }

    kytest::TempDir m_temp{"kyprofile"};
    const fs::path &m_dir = m_temp.path();
    std::string m_file;
};

struct ReadCase
{
    const char *name;
    const char *content;
    const char *section;
    const char *key;
    const char *expected;
};

const ReadCase kReadCases[] = {
    {"case and blanks", "[publish]\r\n  url = rtmp://a/b \r\n", "Publish", "URL", "rtmp://a/b"},
    {"quotes", "[P]\nK=\"x y\"\n", "P", "K", "x y"},
    {"first section wins", "[P]\nK=1\n[p]\nK=2\n", "P", "K", "1"},
    {"first key wins", "[P]\nK=1\nk=2\n", "P", "K", "1"},
    {"key of another section", "[A]\nK=1\n[P]\nX=2\n", "P", "K", "dflt"},
    {"comment is no key", "[P]\n;K=1\n", "P", "K", "dflt"},
    {"lines before any section", "K=1\n[P]\n", "P", "K", "dflt"},
    {"empty value", "[P]\nK=\n", "P", "K", ""},
    {"separators in the value", "[P]\nK=D:\\rec\\a=b;c\n", "P", "K", "D:\\rec\\a=b;c"},
    {"missing section", "[Q]\nK=1\n", "P", "K", "dflt"},
};

// The lines of `text` that hold something, in order.
std::vector<std::string> filledLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST_F(ProfileIni, ReaderRules)
{
    for (const ReadCase &c : kReadCases) {
        write(c.content);
        EXPECT_EQ(read(c.section, c.key), c.expected) << c.name;
    }
}

// The narrow reader's 512-byte buffer holds 511 bytes of text.
TEST_F(ProfileIni, ReadIsCutToTheBuffer)
{
    write("[P]\nA=" + std::string(600, 'a') + "\n");
    EXPECT_EQ(readProfileString(m_file, "P", "A", ""), std::string(511, 'a'));
    EXPECT_EQ(readProfileString(m_file, "P", "A", "", 4), "aaa");
}

TEST_F(ProfileIni, MissingFileGivesTheDefault)
{
    EXPECT_EQ(readProfileString(kytest::utf8(m_dir / "none.ini"), "P", "K", "x "), "x");
}

// OBS Classic's profile holds far more than the publish settings: setting
// the push address must leave every other section, key and comment in place.
TEST_F(ProfileIni, WriteKeepsTheRestOfTheFile)
{
    const std::string before = "; written by hand\r\n[Other]\r\nA=1\r\n\r\n# kept too\r\n[publish]\r\nmode=1\r\n"
                               "URL=x\r\n[Video]\r\nFPS=30\r\n";
    write(before);
    ASSERT_TRUE(writeProfileString(m_file, "Publish", "Mode", "0"));
    ASSERT_TRUE(writeProfileString(m_file, "Publish", "PlayPath", "live_42?k=a;b"));
    ASSERT_TRUE(writeProfileString(m_file, "Audio", "Device", "default"));

    EXPECT_EQ(read("Publish", "Mode"), "0");
    EXPECT_EQ(read("Publish", "URL"), "x");
    EXPECT_EQ(read("Publish", "PlayPath"), "live_42?k=a;b");
    EXPECT_EQ(read("Other", "A"), "1");
    EXPECT_EQ(read("Video", "FPS"), "30");
    EXPECT_EQ(read("Audio", "Device"), "default");

    // Every other line is still there, in its order; the changed key is
    // rewritten, not added a second time.
    const std::vector<std::string> after = filledLines(content());
    std::size_t at = 0;
    for (const std::string &line : filledLines(before)) {
        if (line == "mode=1")
            continue;
        while (at < after.size() && after[at] != line)
            ++at;
        EXPECT_LT(at, after.size()) << "lost or moved: " << line;
    }
    int modeLines = 0;
    for (const std::string &line : after)
        modeLines += (line.size() > 5 && (line.compare(0, 5, "mode=") == 0 || line.compare(0, 5, "Mode=") == 0));
    EXPECT_EQ(modeLines, 1);
}

TEST_F(ProfileIni, WriteCreatesAMissingFile)
{
    ASSERT_TRUE(writeProfileString(m_file, "Publish", "URL", "rtmp://a/b"));
    EXPECT_EQ(read("publish", "url"), "rtmp://a/b");
}

// Text that would add or break lines must not reach the file.
TEST_F(ProfileIni, WriteRefusesWhatIsNoLine)
{
    struct Entry
    {
        const char *section;
        const char *key;
        const char *value;
    };
    const Entry refused[] = {
        {"Publish", "URL", "a\n[Evil]"}, {"Publish", "URL", "a\rb"},  {"Publish", "U=RL", "a"},
        {"Publish", ";URL", "a"},        {"Pub]lish", "URL", "a"},   {"Publish", " ", "a"},
    };
    const std::string before = "[Publish]\r\nURL=old\r\n";
    for (const Entry &e : refused) {
        write(before);
        EXPECT_FALSE(writeProfileString(m_file, e.section, e.key, e.value)) << e.key << " " << e.value;
        EXPECT_EQ(content(), before);
    }
}

TEST_F(ProfileIni, WriteNeedsTheFolder)
{
    const fs::path missing = m_dir / "missing";
    EXPECT_FALSE(writeProfileString(kytest::utf8(missing / "Untitled.ini"), "Publish", "Mode", "0"));
    EXPECT_FALSE(fs::exists(missing));
}

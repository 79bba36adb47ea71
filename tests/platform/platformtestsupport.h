#pragma once

// Small helpers of the platform tests, the same on both systems.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace kytest {

namespace fs = std::filesystem;

// A new empty folder below the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir
{
public:
    explicit TempDir(const std::string &prefix)
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path dir = fs::temp_directory_path() / (prefix + "-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(dir, error)) {
                m_path = dir;
                return;
            }
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    bool valid() const { return !m_path.empty(); }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

// Polls `condition` until it holds or `timeoutMs` pass. For states that give
// no signal to wait for: processes appearing or ending.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return condition();
}

inline bool writeFile(const fs::path &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

inline std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The record the stand-in helper writes (see platformhelper.cpp), once it is
// there and can be read; "" when it never could be within `timeoutMs`. The
// helper renames a whole record into place, but on Windows the rename holds
// the file open with delete access until it returns, and a reader that does
// not share deletion (any std::ifstream) is refused until then: on a busy
// machine a read right after the name appears came back empty.
inline std::string readRecordWhenWritten(const fs::path &path, int timeoutMs = 10000)
{
    std::string content;
    waitFor(
        [&] {
            content = readFile(path);
            return !content.empty();
        },
        timeoutMs);
    return content;
}

// The path as the layer takes it: UTF-8.
inline std::string utf8(const fs::path &path)
{
    return path.u8string();
}

} // namespace kytest

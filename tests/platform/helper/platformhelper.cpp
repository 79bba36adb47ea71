// A stand-in program for the platform tests, copied under the names a test
// needs ("OBS.exe", an installer's name).
//
//   --sleep        runs for a minute, then ends (a tool that is running)
//   anything else  records its command line in "<program file>.args": the
//                  raw line (Windows only), then each argument on a line
#include "platformhelper.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char **argv)
{
    if (argc == 2 && std::string(argv[1]) == "--sleep") {
        std::this_thread::sleep_for(std::chrono::minutes(1));
        return 0;
    }
    namespace fs = std::filesystem;
    const fs::path record = fs::u8path(ownProgramPath() + ".args");
    const fs::path temp = fs::u8path(ownProgramPath() + ".args.tmp");
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << rawCommandLine() << '\n';
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\n';
        if (!out)
            return 1;
    }
    // Renamed when complete, so a reader never sees half a record.
    std::error_code error;
    fs::rename(temp, record, error);
    return error ? 1 : 0;
}

// kyoro-reg: the registry store from the command line.
//
//   kyoro-reg add KEY [NAME DATA]...   create KEY and set string values
//   kyoro-reg query KEY NAME           print one value (exit 1 when absent)
//   kyoro-reg list KEY                 subkeys ("NAME\") then values ("NAME=DATA")
//   kyoro-reg delete KEY               delete KEY with everything below it
//
// KEY is a path such as "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\OBS Studio";
// the store is KYORO_REGISTRY_DIR (default: kyoro-registry in the data folder).

#include "platform/processes.h"
#include "platform/registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {
int usage()
{
    std::fputs("usage: kyoro-reg add KEY [NAME DATA]... | query KEY NAME | list KEY | delete KEY\n", stderr);
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    // UTF-8 on every system: tool names are Chinese.
    const std::vector<std::string> words = kyplatform::programArguments(argc, argv);
    std::vector<const char *> pointers{argv[0]};
    for (const std::string &word : words)
        pointers.push_back(word.c_str());
    argc = int(pointers.size());
    argv = const_cast<char **>(pointers.data());
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string key = argv[2];

    if (command == "add") {
        if ((argc - 3) % 2 != 0)
            return usage();
        if (!kyplatform::registryCreateKey(key)) {
            std::fprintf(stderr, "kyoro-reg: cannot create %s\n", key.c_str());
            return 1;
        }
        for (int i = 3; i + 1 < argc; i += 2) {
            if (!kyplatform::registryWriteString(key, argv[i], argv[i + 1])) {
                std::fprintf(stderr, "kyoro-reg: cannot write %s in %s\n", argv[i], key.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (command == "query" && argc == 4) {
        std::string value;
        if (!kyplatform::registryReadString(key, argv[3], value))
            return 1;
        std::printf("%s\n", value.c_str());
        return 0;
    }
    if (command == "list" && argc == 3) {
        std::vector<std::string> subkeys;
        std::vector<std::pair<std::string, std::string>> values;
        if (!kyplatform::registrySubkeys(key, subkeys) || !kyplatform::registryValues(key, values)) {
            std::fprintf(stderr, "kyoro-reg: no key %s\n", key.c_str());
            return 1;
        }
        for (const std::string &subkey : subkeys)
            std::printf("%s\\\n", subkey.c_str());
        for (const auto &value : values)
            std::printf("%s=%s\n", value.first.c_str(), value.second.c_str());
        return 0;
    }
    if (command == "delete" && argc == 3) {
        if (!kyplatform::registryDeleteTree(key)) {
            std::fprintf(stderr, "kyoro-reg: cannot delete %s\n", key.c_str());
            return 1;
        }
        return 0;
    }
    return usage();
}

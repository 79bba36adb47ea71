#include "platform/shell.h"

namespace kyplatform {

namespace {

// Little- or big-endian unsigned numbers at `at`; 0 when outside `text`.
unsigned long long number(const std::string &text, std::size_t at, std::size_t bytes, bool bigEndian = false)
{
    if (at > text.size() || bytes > text.size() - at)
        return 0;
    unsigned long long value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + (bigEndian ? i : bytes - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

} // namespace

bool isPeImage(const std::string &head, unsigned long long size)
{
    if (head.compare(0, 2, "MZ") != 0)
        return false;
    // e_lfanew: where the PE header starts, past the DOS header and inside
    // what we read (real programs have it within the first kilobyte).
    const unsigned long long pe = number(head, 0x3c, 4);
    const std::size_t coff = static_cast<std::size_t>(pe) + 4;
    if (pe < 0x40 || pe + 24 + 2 > head.size() || pe + 24 + 2 > size || head.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    const unsigned long long machine = number(head, coff, 2);
    const unsigned long long sections = number(head, coff + 2, 2);
    const unsigned long long optionalSize = number(head, coff + 16, 2);
    const unsigned long long characteristics = number(head, coff + 18, 2);
    const unsigned long long magic = number(head, coff + 20, 2);
    const bool knownMachine = machine == 0x14c /* x86 */ || machine == 0x8664 /* x64 */ || machine == 0x1c4 /* ARM */
        || machine == 0xaa64 /* ARM64 */;
    const bool executable = (characteristics & 0x0002) != 0;
    const bool optionalFits = (magic == 0x10b && optionalSize >= 96) || (magic == 0x20b && optionalSize >= 112);
    return knownMachine && sections >= 1 && sections <= 96 && executable && optionalFits
        && pe + 24 + optionalSize + sections * 40 <= size;
}

bool isElfImage(const std::string &head, unsigned long long size)
{
    if (head.compare(0, 4, "\x7f" "ELF") != 0 || head.size() < 64)
        return false;
    const int elfClass = head[4];
    const int data = head[5];
    if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2) || head[6] != 1)
        return false;
    const bool big = data == 2;
    const bool wide = elfClass == 2;
    const unsigned long long type = number(head, 16, 2, big);
    const unsigned long long machine = number(head, 18, 2, big);
    const unsigned long long programHeaders = number(head, wide ? 32 : 28, wide ? 8 : 4, big);
    const unsigned long long entrySize = number(head, wide ? 54 : 42, 2, big);
    const unsigned long long entries = number(head, wide ? 56 : 44, 2, big);
    const bool knownMachine = machine == 3 /* x86 */ || machine == 62 /* x86-64 */ || machine == 40 /* ARM */
        || machine == 183 /* AArch64 */;
    return (type == 2 || type == 3) && knownMachine && entries >= 1 && entrySize >= (wide ? 56u : 32u)
        && programHeaders < size && entries * entrySize <= size - programHeaders;
}

std::vector<std::string> splitCommandLine(const std::string &text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            std::size_t count = 0;
            while (i < text.size() && text[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < text.size() && text[i] == '"') {
                word.append(count / 2, '\\');
                if (count % 2 == 1) {
                    word += '"';
                    ++i;
                }
                // With an even count the quote is handled by the next pass.
            } else {
                word.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                word += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        word += c;
        ++i;
    }
    if (inWord)
        words.push_back(word);
    return words;
}

} // namespace kyplatform

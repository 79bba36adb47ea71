#include "platform/crash.h"

namespace kyplatform {

namespace {
// Appends into a fixed buffer; once something does not fit, the whole result
// is void (length 0) rather than silently cut.
class FixedText
{
public:
    FixedText(char *out, std::size_t size)
        : m_out(out)
        , m_size(size)
    {
        if (m_size)
            m_out[0] = '\0';
        else
            m_failed = true;
    }

    void add(const char *text)
    {
        while (text && *text)
            addChar(*text++);
    }

    void addChar(char c)
    {
        if (m_failed || m_length + 1 >= m_size) {
            m_failed = true;
            return;
        }
        m_out[m_length++] = c;
        m_out[m_length] = '\0';
    }

    // Decimal, zero-padded to at least `minDigits` digits.
    void addNumber(long long value, int minDigits = 1)
    {
        unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        while (count < minDigits && count < static_cast<int>(sizeof digits))
            digits[count++] = '0';
        if (value < 0)
            addChar('-');
        while (count)
            addChar(digits[--count]);
    }

    std::size_t result()
    {
        if (m_failed) {
            if (m_size)
                m_out[0] = '\0';
            return 0;
        }
        return m_length;
    }

private:
    char *m_out;
    std::size_t m_size;
    std::size_t m_length = 0;
    bool m_failed = false;
};

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

const char kRenderModuleA[] = "vidout_a.dll";
const char kRenderModuleB[] = "vidout_b.dll";
const char kMediaModule[] = "avpipe.dll";
const char kEncoderModule[] = "libx264-140.dll";
} // namespace

std::size_t formatReporterFailure(char *out, std::size_t size, unsigned long error)
{
    FixedText text(out, size);
    text.add("crash reporter not started: Windows error ");
    text.addNumber(static_cast<long long>(error));
    return text.result();
}

std::size_t formatDumpFileName(char *out, std::size_t size, const char *baseName,
                               const CrashTime &time, const char *version)
{
    FixedText text(out, size);
    text.add(baseName);
    text.addChar('_');
    text.addNumber(time.year, 4);
    text.addChar('-');
    text.addNumber(time.month, 2);
    text.addNumber(time.day, 2);
    text.addChar('-');
    text.addNumber(time.hour, 2);
    text.addNumber(time.minute, 2);
    text.addChar('-');
    text.addNumber(time.second, 2);
    text.addChar('_');
    text.add(version);
    text.add(".dmp");
    return text.result();
}

std::size_t formatReporterCommandLine(char *out, std::size_t size, const char *uploadLocation,
                                      const char *dumpPath, const char *credential, int number)
{
    FixedText text(out, size);
    text.addChar('"');
    text.add(uploadLocation);
    text.add("\"   \"");
    text.add(dumpPath);
    text.add("\"    \"");
    text.add(credential);
    text.add("\"   \"");
    text.addNumber(number);
    text.addChar('"');
    return text.result();
}

std::size_t formatAdvice(char *out, std::size_t size, const char *adviceText, const char *module)
{
    FixedText text(out, size);
    bool replaced = false;
    for (const char *p = adviceText; p && *p; ++p) {
        if (!replaced && p[0] == '%' && p[1] == 's') {
            text.add(module);
            replaced = true;
            ++p;
        } else {
            text.addChar(*p);
        }
    }
    return text.result();
}

const char *moduleBaseName(const char *path)
{
    if (!path)
        return "";
    const char *base = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            base = p + 1;
    }
    return base;
}

bool sameModuleName(const char *a, const char *b)
{
    a = moduleBaseName(a);
    b = moduleBaseName(b);
    while (*a && *b) {
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
        ++a;
        ++b;
    }
    return *a == *b;
}

bool dumpNaming(const CrashReportSettings &settings, const std::string &programPath, const char *separators,
                std::string &folder, std::string &baseName, std::string &version)
{
    folder = settings.programFolder;
    baseName = settings.programBaseName;
    if (folder.empty() || baseName.empty()) {
        const std::size_t slash = programPath.find_last_of(separators);
        if (slash == std::string::npos)
            return false;
        if (folder.empty())
            folder = programPath.substr(0, slash);
        if (baseName.empty()) {
            baseName = programPath.substr(slash + 1);
            const std::size_t dot = baseName.rfind('.');
            if (dot != std::string::npos)
                baseName.resize(dot);
        }
    }
    version = settings.version;
    for (std::string *name : {&baseName, &version}) {
        for (char &c : *name) {
            if (c == '/' || c == '\\')
                c = '_';
        }
    }
    return true;
}

bool faultInAdviceModule(const char *faultingModule)
{
    return sameModuleName(faultingModule, kRenderModuleA) || sameModuleName(faultingModule, kRenderModuleB)
        || sameModuleName(faultingModule, kMediaModule);
}

CrashAdvice adviceForFrame(const char *faultingModule, const char *frameModule)
{
    if (sameModuleName(frameModule, kRenderModuleA) || sameModuleName(frameModule, kRenderModuleB))
        return CrashAdvice::RenderSystem;
    // A crash in the encoder called by the media engine is not blamed on the
    // graphics driver.
    if (sameModuleName(frameModule, kMediaModule) && !sameModuleName(faultingModule, kEncoderModule))
        return CrashAdvice::MediaEngine;
    return CrashAdvice::General;
}

} // namespace kyplatform

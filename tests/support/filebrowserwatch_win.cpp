#include "filebrowserwatch.h"

#include <QElapsedTimer>
#include <QTest>

#include "childprocesses_win.h"

#include <shellapi.h>

#include <vector>

namespace kytest {

FileBrowserWatch::FileBrowserWatch() = default;
FileBrowserWatch::~FileBrowserWatch() = default;

QStringList FileBrowserWatch::opened()
{
    // Wine starts "explorer.exe /desktop" for the first process of a session
    // that makes a window, as the test process itself does: not a browser.
    struct Browser
    {
        HANDLE process;
        QString commandLine;
    };
    std::vector<Browser> browsers;
    QElapsedTimer clock;
    clock.start();
    while (browsers.empty() && clock.elapsed() < 10000) {
        for (DWORD id : childProcessesNamed(L"explorer.exe")) {
            HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                         FALSE, id);
            if (!process)
                continue;
            // Read again while the new process is still being set up.
            const std::wstring read = commandLineOf(process);
            const QString line = QString::fromStdWString(read);
            if (!wholeCommandLine(read, L"explorer.exe") || line.contains(QLatin1String("/desktop"), Qt::CaseInsensitive))
                CloseHandle(process);
            else
                browsers.push_back({process, line});
        }
        if (browsers.empty())
            QTest::qWait(20);
    }
    for (const Browser &browser : browsers) {
        TerminateProcess(browser.process, 0);
        WaitForSingleObject(browser.process, 10000);
        CloseHandle(browser.process);
    }
    if (browsers.size() != 1)
        return {QStringLiteral("%1 file browsers started").arg(browsers.size())};
    const QString line = browsers.front().commandLine;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(reinterpret_cast<const wchar_t *>(line.utf16()), &count);
    QStringList arguments;
    for (int i = 1; words && i < count; ++i)
        arguments << QString::fromWCharArray(words[i]);
    LocalFree(words);
    return arguments.isEmpty() ? QStringList{QStringLiteral("no arguments: ") + line} : arguments;
}

} // namespace kytest

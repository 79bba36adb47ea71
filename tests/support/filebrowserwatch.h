#pragma once

#include <QString>
#include <QStringList>

// Catches the file browser the program starts to show a folder. Linux: a
// stand-in xdg-open first on PATH writes down its arguments. Windows: the
// system's explorer.exe, started by this process, is found, its command line
// read and the process ended.
namespace kytest {

class FileBrowserWatch
{
public:
    FileBrowserWatch();
    ~FileBrowserWatch();
    FileBrowserWatch(const FileBrowserWatch &) = delete;
    FileBrowserWatch &operator=(const FileBrowserWatch &) = delete;

    // The arguments of the browser started since the last call (waits up
    // to ten seconds for it); one line saying what went wrong otherwise.
    QStringList opened();

private:
    QString m_log;
    QByteArray m_oldPath;
};

} // namespace kytest

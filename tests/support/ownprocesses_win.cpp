#include "ownprocesses.h"

#include <QElapsedTimer>
#include <QThread>

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace kytest {

namespace {

// Every test process puts itself into a job object before it starts
// anything; what it starts, directly or through the program under test and
// the stand-ins, joins the job unless it breaks away. The job is this run's
// marker: other runs in the same prefix start programs of the same names.
HANDLE runJob()
{
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        if (created && !AssignProcessToJobObject(created, GetCurrentProcess())) {
            CloseHandle(created);
            created = nullptr;
        }
        return created;
    }();
    return job;
}

// Joins the job when the test program starts, before any test starts a child.
const bool joinedAtStart = runJob() != nullptr;

std::vector<DWORD> jobProcessIds()
{
    std::vector<DWORD> ids;
    HANDLE job = runJob();
    if (!job)
        return ids;
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 1024 * sizeof(ULONG_PTR));
    auto *list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, DWORD(buffer.size()), nullptr))
        return ids;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i)
        ids.push_back(DWORD(list->ProcessIdList[i]));
    return ids;
}

QList<qint64> ownProcessesNamed(const QStringList &names)
{
    QList<qint64> result;
    const std::vector<DWORD> members = jobProcessIds();
    if (members.empty())
        return result;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return result;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        bool member = false;
        for (DWORD id : members)
            member = member || id == entry.th32ProcessID;
        const QString name = QString::fromWCharArray(entry.szExeFile);
        if (member && names.contains(name, Qt::CaseInsensitive))
            result << qint64(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return result;
}

} // namespace

QList<qint64> ownProcesses(const QString &name)
{
    Q_UNUSED(joinedAtStart);
    return ownProcessesNamed({name});
}

bool isRunning(const QString &name)
{
    return !ownProcesses(name).isEmpty();
}

void endOwnProcesses(const QStringList &names)
{
    QList<qint64> running = ownProcessesNamed(names);
    QElapsedTimer clock;
    clock.start();
    while (!running.isEmpty() && clock.elapsed() < 5000) {
        for (qint64 pid : qAsConst(running)) {
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid))) {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        }
        QThread::msleep(20);
        running = ownProcessesNamed(names);
    }
}

} // namespace kytest

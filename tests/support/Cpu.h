// The CPU time this process has used so far, user and system, in seconds.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace korva::test {

inline double ProcessCpuSeconds()
{
#ifdef _WIN32
    FILETIME created{}, ended{}, system{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &system, &user);
    const auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;  // 100-ns units
    };
    return seconds(system) + seconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

}  // namespace korva::test

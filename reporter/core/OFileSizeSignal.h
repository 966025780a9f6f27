#pragma once
// While the reporter writes, a file-size limit (a quota, ulimit -f) must give the write error that the
// writers handle (the old file kept, the temporary one removed) instead of the signal that would end the
// program inside the report. Guards nest and may be taken by several threads; the program's own action
// for the signal comes back when the last one goes.
namespace reporter {

class TFileSizeSignalGuard {
public:
    TFileSizeSignalGuard();
    ~TFileSizeSignalGuard();
    TFileSizeSignalGuard(const TFileSizeSignalGuard&) = delete;
    TFileSizeSignalGuard& operator=(const TFileSizeSignalGuard&) = delete;
};

} // namespace reporter

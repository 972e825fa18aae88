#include "transfer/TransferRate.h"

#include "base/DateTime.h"

#include <cstdio>

void TransferRate::Start(int64_t expectedSize, int64_t tickMs)
{
    bytesDone_ = 0;
    expectedSize_ = expectedSize;
    lastSampleBytes_ = 0;
    lastSampleTick_ = tickMs;
    history_[10] = 0;
    kpsText_.clear();
    timeText_.clear();
}

bool TransferRate::Update(int64_t bytesTransferred, int64_t tickMs)
{
    bytesDone_ = bytesTransferred;
    const int64_t elapsed = tickMs - lastSampleTick_;
    if (elapsed <= 1000)
        return false;
    const double rate = double(bytesDone_ - lastSampleBytes_) / (double(elapsed) * 0.001) / 1024.0;
    if (history_[10] == 0)
        for (int i = 2; i <= 10; ++i)
            history_[size_t(i)] = rate;
    for (int i = 1; i <= 9; ++i)
        history_[size_t(i)] = history_[size_t(i) + 1];
    history_[10] = rate;
    double sum = 0;
    for (int i = 1; i <= 10; ++i)
        sum += history_[size_t(i)];
    const double average = sum * 0.1;
    char kps[64];
    std::snprintf(kps, sizeof kps, "%.1fK/s", average);
    kpsText_ = kps;
    int64_t secondsLeft = 0;
    if (average > 0)
        secondsLeft = RoundHalfEven(double((expectedSize_ - lastSampleBytes_) / 1024) / average);
    lastSampleTick_ = tickMs;
    lastSampleBytes_ = bytesTransferred;
    timeText_ = TimeRemainingText(secondsLeft);
    return true;
}

int TransferRate::Percent() const
{
    if (expectedSize_ < 1)
        return 0;
    if (expectedSize_ < bytesDone_)
        return 100;
    return int(RoundHalfEven(double(bytesDone_) / double(expectedSize_) * 100.0));
}

std::string TransferRate::TimeRemainingText(int64_t secondsLeft)
{
    if (secondsLeft < 0)
        secondsLeft = 0;
    const int64_t hours = secondsLeft / 3600;
    const int64_t minutes = (secondsLeft - hours * 3600) / 60;
    const int64_t seconds = secondsLeft % 60;
    char buf[64];
    if (hours > 0)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", (long long)hours, (long long)minutes, (long long)seconds);
    else
        std::snprintf(buf, sizeof buf, "%2lld:%02lld", (long long)minutes, (long long)seconds);
    return buf;
}

std::string PhaseProgressText(const std::string &verb, int total, int remain)
{
    if (total <= 0)
        return {};
    const int64_t percent = RoundHalfEven(double(total - remain) / double(total) * 100.0);
    return verb + std::to_string(percent) + "% complete  [" + std::to_string(total) + " total, " +
           std::to_string(remain) + " remain]";
}

#pragma once
// The per-file speed and time-remaining display: ten rate samples, recomputed at most once a second.
#include <array>
#include <cstdint>
#include <string>

class TransferRate {
public:
    // Called when a file starts: the speed of one file never carries over to the next.
    void Start(int64_t expectedSize, int64_t tickMs);
    void SetExpectedSize(int64_t size) { expectedSize_ = size; }

    // One progress report. Returns true when the speed and time texts were recomputed.
    bool Update(int64_t bytesTransferred, int64_t tickMs);

    int64_t BytesDone() const { return bytesDone_; }
    int64_t ExpectedSize() const { return expectedSize_; }
    const std::string &KpsText() const { return kpsText_; }
    const std::string &TimeText() const { return timeText_; }
    std::string TransferredText() const { return " " + std::to_string(bytesDone_); }
    int Percent() const;

    // " 5:07" for 307 seconds, "1:05:07" for 3907.
    static std::string TimeRemainingText(int64_t secondsLeft);

private:
    int64_t bytesDone_ = 0;
    int64_t expectedSize_ = 0;
    int64_t lastSampleBytes_ = 0;
    int64_t lastSampleTick_ = 0;
    std::array<double, 11> history_{}; // 1..10 used; [10] == 0 marks an empty history
    std::string kpsText_;
    std::string timeText_;
};

// "Deleting - 40% complete  [5 total, 3 remain]"; empty when the total is 0.
std::string PhaseProgressText(const std::string &verb, int total, int remain);

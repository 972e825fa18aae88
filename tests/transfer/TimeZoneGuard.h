#pragma once
// The PC's time zone for the life of the guard ("FHT-10": ten hours east of UTC, no summer
// time); the real servers list in UTC whatever it is.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class TimeZoneGuard {
public:
    explicit TimeZoneGuard(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneGuard()
    {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TimeZoneGuard(const TimeZoneGuard &) = delete;
    TimeZoneGuard &operator=(const TimeZoneGuard &) = delete;

private:
    std::optional<std::string> old_;
};

#pragma once
// Field helpers for server listing lines: fields are separated by runs of spaces, positions are
// 0-based, and every result is a view into the text it was given.
#include <cstdint>
#include <string>
#include <string_view>

// The n-th field (n counted from 1), or with `rest` that field and everything after it.
// Empty when the text has fewer than n fields.
std::string_view FieldFrom(std::string_view s, int n, bool rest = false);

// Where the field after the first n fields starts (n counted from 0); s.size() when there is none.
size_t FieldPosition(std::string_view s, int n);

// Where the n-th field (n counted from 1) ends; s.size() when there is no such field.
size_t FieldEnd(std::string_view s, int n);

// The text after the n-th field and the one space that follows it, as ls puts a name after the
// time or year: spaces beyond that one belong to the name. Empty when nothing follows.
std::string_view TextAfterField(std::string_view s, int n);

// Where the first month token (" JAN ", any letter case) starts; the French tokens are tried only
// when no English one occurs. std::string_view::npos when neither occurs.
size_t MonthPosition(std::string_view s);

// The size field and everything after it (month, day, time or year, name): the month token found,
// then back to the space before the size. Empty without a month or without a size before it.
std::string_view TailFromSize(std::string_view s);

// The text without any space.
std::string Squeeze(std::string_view s);

// Month number 1..12 of a three-letter abbreviation (English, else French, any A-Z case), or 0.
int MonthNumber(std::string_view abbreviation);
// "JAN" ... "DEC"; month must be 1..12.
std::string_view EnglishMonth(int month);

// The decimal number a text starts with. False when the text is empty, holds anything but the
// digits 0-9, or overflows; `value` then holds what was read before that point.
bool ReadNumber(std::string_view text, int64_t &value);
bool ReadNumber(std::string_view text, int &value);

// A name a server or a cache file may give us: not empty, not "." or "..", and without "/", "\",
// NUL, CR or LF. Anything else could make a download write, or a run delete, outside the site's
// top directory, or put a line break into a command.
bool IsSafeEntryName(std::string_view name);

// The log line for a name skipped by IsSafeEntryName: the listing parser and the cache reader say
// it in the same words.
std::string UnsafeNameLogLine(std::string_view name);
